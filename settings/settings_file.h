// The settings file: one line per entry, key, separator, value, CR LF, in
// ascending byte order of the keys.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "settings/file_reading.h"

// std::string compares through char_traits<char>, which orders bytes as
// unsigned char values: "B" < "a" < "ab" < a key starting with 0x82.
using SettingsMap = std::map<std::string, std::string>;

// Adds every well-formed line of the file to `map` (the last line of a key
// wins). Only a file read to its end touches the map: a file that is not
// there, or that is there but cannot be read, leaves it as it was.
ReadStatus load_settings(SettingsMap& map, const std::string& path, const std::string& separator);

// Adds every well-formed line of `bytes`, a settings file's content, to
// `map`. The text-mode rules apply: CR LF or a lone LF ends a line, 0x1A
// ends the file, a zero byte ends its line's text. The bytes are taken in
// blocks of `block_size`, as a file is read; the result is the same for
// any size.
void parse_settings(const std::string& bytes, SettingsMap& map, const std::string& separator,
                    std::size_t block_size = std::size_t(-1));

// What a start found, for the save that follows it.
struct StartLoad {
    // Of the settings file, or of the copy shown in its place.
    ReadStatus status = ReadStatus::not_found;
    // The file the settings came from, or the one that could not be read.
    std::string source;
    // Whether the settings file was there: only then may a save tidy away
    // what earlier saves left, which may otherwise hold the only copy.
    bool file_found = true;
    // The copy shown in the file's place, if one was, and the copies the
    // start read and found older than it. Once OK has saved what was
    // shown, these go, and nothing else that the start did not show.
    std::string shown_copy;
    std::vector<std::string> older_copies;
};

// load_settings() for the start, after a save that a crash or a power cut
// may have cut off. While the settings file is there, a whole copy beside
// it that a cut-off write over it may have left stands in its place: one
// that the file was last written within a minute after (the file may be
// part old, part new), never one that the file was written after since.
// While the file is not there, the newest whole copy of new settings that a
// cut-off replace left stands in its place; the old settings that a replace
// moved aside never do, so that a folder without a settings file starts
// with the defaults. A copy that cannot be shown to be whole is never
// taken, and where the copy that stands for the file cannot be read, the
// start reads nothing else: the status says so.
StartLoad load_settings_at_start(SettingsMap& map, const std::string& path,
                                 const std::string& separator);

// Whether an entry written with `separator` loads back as it was: nothing
// in it may hold an LF, 0x1A or a zero byte, and the key must be non-empty
// and come back whole (no separator in it, no lead byte at its end that
// would take the separator for its second byte). An empty value is written,
// but does not load back.
bool entry_loads_back(const std::string& key, const std::string& value,
                      const std::string& separator);

// The file's bytes for `map`, as save_settings writes them, in `text`. False,
// with `text` left as it was, when an entry would not load back.
bool settings_text(const SettingsMap& map, const std::string& separator, std::string& text);

// Replaces the file whole with the entries of `map`. False when the file is
// read-only or a folder, an entry would not load back, or any step of
// writing or replacing it fails; the file then holds the old settings, but
// where two steps fail in a row while it is written over in place
// (FileReplacement::commit).
// After a start, `start` says what it found: the copies it showed or found
// older go once the file holds what was shown, and what earlier saves left
// is tidied away only where the file was there.
bool save_settings(const SettingsMap& map, const std::string& path, const std::string& separator,
                   const StartLoad& start = StartLoad());
