// What a fuzz target finds wrong: said on stderr, then abort(), so that
// libFuzzer keeps the input that did it.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}
