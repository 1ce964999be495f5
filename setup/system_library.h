// DLLs that the editor loads only when it needs them, always from the
// system folder, so that a DLL of the same name beside the exe or in the
// current folder is never taken instead.
#pragma once

#include <windows.h>

// The system's own copy of `name` ("shell32.dll"), loaded; null if it
// cannot be loaded.
HMODULE load_system_library(const char* name);

// The function `name` of `module` as the type `Function`; null if missing.
template <typename Function> Function function_in(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
