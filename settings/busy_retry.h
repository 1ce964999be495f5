// Another program (a virus scanner, a backup, the publishing tool, another
// editor just done with its own save) may hold the settings file for a
// moment: a step it refuses is tried again for a little over half a second
// before the refusal counts.
#pragma once

#include "settings/platform.h"

constexpr int busy_tries = 12;
constexpr unsigned busy_pause_ms = 50;

inline bool is_busy(sys::Result result) {
    return result == sys::Result::busy;
}

template <class Step> auto retry_while_busy(Step step) {
    auto result = step();
    for (int attempt = 1; attempt < busy_tries && is_busy(result); ++attempt) {
        sys::sleep_ms(busy_pause_ms);
        result = step();
    }
    return result;
}
