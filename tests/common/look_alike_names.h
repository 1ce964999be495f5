// Names much like the save's own temporary files that belong to the user or
// to other programs: whatever their age, no save or clean-up may touch them.
// Header-only, for the unit tests as for the Windows ones.
#pragma once

#include "settings/temp_files.h"

#include <string>
#include <vector>

// The earlier version's names, as its documentation gives them: "~mb", five
// base-36 characters, and two that check the five.
inline std::string earlier_name(const char* token) {
    const auto value = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    unsigned sum = 0;
    for (int i = 0; i < 5; ++i)
        sum += static_cast<unsigned>((i + 1) * value(token[i]));
    const unsigned check = (sum + 0x2b) % 1291;
    const char* const digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    return std::string("~mb") + token + digits[check / 36] + digits[check % 36];
}

inline std::vector<std::string> look_alike_names() {
    std::vector<std::string> names = {
        "~mabiru.1", "~backup.2", "~old.b",    "~1.1",   "~a.b",         "~$mabiru.dat",
        "~1f",       "~1f.0",     "~1f.0.tmp", "~XYZ.0", "~123456789.0", "mabiru.dat.bak"};
    // One of the save's own names with a letter changed, one added, or one
    // taken off either end.
    const std::string ours = temp_name(TempKind::replacement, 1700000000);
    std::string changed = ours;
    changed[4] = changed[4] == '0' ? '1' : '0';
    names.insert(names.end(), {changed, ours + "0", ours.substr(1), ours.substr(0, 9)});
    return names;
}
