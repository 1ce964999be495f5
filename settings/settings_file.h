// The settings file: one line per entry, key, separator, value, CR LF, in
// ascending byte order of the keys.
#pragma once

#include <cstddef>
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

#ifdef MABIRU_TEST_SEAMS
// Test builds only.

// The steps of a save after the checks; each one can be made to fail.
enum class SaveStep { none, open, write, flush, close, replace };

// Makes the next save_settings call fail at `step` as if the system had
// refused it. With SaveStep::write, `after_bytes` bytes reach the temporary
// file first. The next call consumes it; SaveStep::none clears it.
void inject_save_failure(SaveStep step, std::size_t after_bytes = 0);

// The largest block load_settings reads at a time (smaller files are read
// whole). Tests make it small to put line ends on block boundaries.
extern std::size_t settings_read_chunk;

// Environment variable read by save_settings: milliseconds to sleep between
// writing and flushing the temporary file and putting it in place.
#define MABIRU_SAVE_DELAY_ENV "MABIRU_TEST_SAVE_DELAY_MS"
#endif
