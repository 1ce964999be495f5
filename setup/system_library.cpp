#include "setup/system_library.h"

#include <string>

// Windows XP, Vista and 7 without KB2533623 refuse LOAD_LIBRARY_SEARCH_SYSTEM32;
// there the full path into the system folder keeps other copies out as well.
HMODULE load_system_library(const char* name) {
    if (const HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    return LoadLibraryA((std::string(folder, length) + "\\" + name).c_str());
}
