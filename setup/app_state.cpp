#include "app_state.h"

// Defined in this order, so constructed in this order and destroyed in the
// reverse one.
std::string program_dir;
SettingsMap settings_map;
