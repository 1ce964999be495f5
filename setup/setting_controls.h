// Which control of the setup dialog shows which setting, in the order in
// which the dialog fills the controls and collects them. The three settings
// that only the dog button asks for have no control.
#pragma once

#include <cstddef>

struct SettingControl {
    const char* key;
    int control;
};

extern const SettingControl setting_controls[12];
