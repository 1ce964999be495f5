// The two process-wide objects of the editor. The dialog object holds no
// settings: they live here from before WinMain until the process exits.
#pragma once

#include <string>

#include "settings/settings_file.h"

// The executable's folder with its trailing backslash; set once by WinMain.
extern std::string program_dir;

// Every setting, key to value, as loaded, asked and collected.
extern SettingsMap settings_map;
