// The settings file's format in memory, with no file in the way, so that a
// long run sees millions of inputs. Any bytes as a file's content: the parse
// must not depend on the size of the read blocks, the parsed map must write
// out and parse back to the same map, and the lists must survive their trip
// to the memory form and back. The same bytes, cut into keys and values, make
// maps the loader could never give: the writer must refuse exactly the
// entries that would not load back, and refuse the whole map for one.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "settings/catalogue.h"
#include "settings/settings_file.h"

namespace {

// Written out and parsed back, `map` comes back less its empty values, which
// are written but do not load.
void check_round_trip(const SettingsMap& map, const char* what) {
    std::string text;
    check(settings_text(map, field_separator, text), what);
    SettingsMap back;
    parse_settings(text, back, field_separator);
    auto it = back.begin();
    for (const auto& entry : map) {
        if (entry.second.empty())
            continue;
        check(it != back.end() && *it == entry, "a written map parses back differently");
        ++it;
    }
    check(it == back.end(), "a written map parses back with more entries");
}

// Keys and values in turn, cut at each `cut` byte.
SettingsMap cut_into_entries(const std::string& bytes, char cut) {
    SettingsMap map;
    std::string key;
    bool have_key = false;
    for (std::size_t at = 0; at <= bytes.size();) {
        std::size_t end = bytes.find(cut, at);
        if (end == std::string::npos)
            end = bytes.size();
        std::string piece = bytes.substr(at, end - at);
        if (have_key)
            map[key] = std::move(piece);
        else
            key = std::move(piece);
        have_key = !have_key;
        at = end + 1;
    }
    return map;
}

void check_cut_entries(const std::string& bytes, char cut_at) {
    SettingsMap cut = cut_into_entries(bytes, cut_at);
    std::string text = "untouched";
    const bool written = settings_text(cut, field_separator, text);
    bool refused = false;
    for (auto it = cut.begin(); it != cut.end();) {
        const auto& [key, value] = *it;
        if (entry_loads_back(key, value, field_separator)) {
            ++it;
            continue;
        }
        refused = true;
        // Refused only when its line would not come back as it was.
        SettingsMap back;
        parse_settings(key + field_separator + value + "\r\n", back, field_separator);
        check(value.empty() || back != SettingsMap{{key, value}},
              "an entry that loads back is refused");
        it = cut.erase(it);
    }
    check(!refused || (!written && text == "untouched"),
          "a map that would lose an entry was written");
    check_round_trip(cut, "entries that load back were refused");
}

// Converts `map` in place. Nothing to convert without a list or a password.
void check_forms(SettingsMap& map) {
    if (map.count("allow_files") + map.count("deny_files") + map.count("password") == 0)
        return;
    const std::string allow = map["allow_files"], deny = map["deny_files"];
    to_memory_forms(map);
    to_file_forms(map);
    check(map["allow_files"] == allow && map["deny_files"] == deny,
          "a list changed on its way through the memory form");
    std::string text;
    check(settings_text(map, field_separator, text), "the file forms were refused");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    SettingsMap parsed;
    parse_settings(bytes, parsed, field_separator);
    // Lines broken across small read blocks parse as when read whole.
    SettingsMap in_blocks;
    parse_settings(bytes, in_blocks, field_separator, size > 0 ? 1 + data[0] % 32 : 1);
    check(in_blocks == parsed, "small read blocks parse differently");
    check_round_trip(parsed, "a parsed map was refused");

    // The first byte says where to cut the rest.
    if (size > 0)
        check_cut_entries(bytes.substr(1), static_cast<char>(data[0]));
    check_forms(parsed);
    return 0;
}
