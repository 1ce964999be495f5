// The settings file: one line per entry, key, separator, value, CR LF, in
// ascending byte order of the keys.
#pragma once

#include <map>
#include <string>

// std::string compares through char_traits<char>, which orders bytes as
// unsigned char values: "B" < "a" < "ab" < a key starting with 0x82.
using SettingsMap = std::map<std::string, std::string>;

// Adds every well-formed line of the file to `map` (the last line of a key
// wins). False only when the file cannot be opened.
bool load_settings(SettingsMap& map, const std::string& path, const std::string& separator);

// Replaces the file whole with the entries of `map`. False, with the old file
// left exactly as it was, when anything fails: the file or its folder is not
// writable, a write, flush or close fails, or a key or value holds a line feed
// (the format cannot carry one).
bool save_settings(const SettingsMap& map, const std::string& path, const std::string& separator);
