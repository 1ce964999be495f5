// The fifteen settings the editor knows: key, kind, flag rule and default.
// One table drives the defaults and the conversions between the forms in
// the file and in memory.
#pragma once

#include <cstddef>
#include <string>

#include "settings/settings_file.h"

enum class SettingKind { flag, text, list, password };

// How a flag read back from the file is taken.
enum class FlagRule {
    none,           // not a flag
    on_unless_zero, // on unless the value is exactly "0" (empty counts as on)
    on_only_if_one, // on only when the value is exactly "1"
};

struct Setting {
    const char* key;
    SettingKind kind;
    FlagRule rule;
    const char* default_value; // nullptr: the editor's own folder (program_dir)
};

// In the order in which the dialog collects its controls; the three keys
// that no control shows come last.
extern const Setting settings_catalogue[];
extern const std::size_t settings_catalogue_size;

extern const char field_separator[]; // 0x01, between key and value
extern const char line_break_mark[]; // 0x02, a line break inside a stored value

const Setting* find_setting(const std::string& key);

// Whether `value` shows as on under the setting's flag rule.
bool flag_is_on(const Setting& setting, const std::string& value);

// Puts every default in, overwriting what the keys hold (first start).
void apply_defaults(SettingsMap& map, const std::string& program_dir);

// After a load: the lists get their CR LF back and the password is unscrambled.
void to_memory_forms(SettingsMap& map);

// Before a save: every line break of the lists (CR LF, or a lone LF as a paste
// from an LF-only file leaves it) becomes one mark; the password is scrambled.
void to_file_forms(SettingsMap& map);
