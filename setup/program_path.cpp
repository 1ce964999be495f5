#include "program_path.h"

#include "settings/mbtext.h"

std::string folder_of(const std::string& module_path) {
    const std::string folder = folder_part(module_path);
    return folder.empty() ? ".\\" : folder;
}

std::string settings_path_in(const std::string& folder) {
    static const char file_name[] = "mabiru.dat";
    if (folder.compare(0, 4, "\\\\?\\") == 0)
        return folder + file_name;
    return folder + "\\" + file_name;
}
