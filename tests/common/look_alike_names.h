// Names much like the save's own temporary files that belong to the user or
// to other programs: whatever their age, no save or clean-up may touch them.
// Header-only, for the unit tests as for the Windows ones.
#pragma once

#include "settings/temp_files.h"

#include <string>
#include <vector>

inline std::vector<std::string> look_alike_names() {
    std::vector<std::string> names = {
        "~mabiru.1", "~backup.2", "~old.b",    "~1.1",   "~a.b",         "~$mabiru.dat",
        "~1f",       "~1f.0",     "~1f.0.tmp", "~XYZ.0", "~123456789.0", "mabiru.dat.bak"};
    // One of the save's own names with a letter changed, one added, or one
    // taken off either end.
    const std::string ours = temp_name(TempKind::whole, 1700000000);
    std::string changed = ours;
    changed[4] = changed[4] == '0' ? '1' : '0';
    names.insert(names.end(), {changed, ours + "0", ours.substr(1), ours.substr(0, 9)});
    return names;
}
