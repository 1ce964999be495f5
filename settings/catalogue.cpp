#include "settings/catalogue.h"

#include <cstring>

#include "settings/mbtext.h"
#include "settings/password.h"

namespace {

const char default_allow_files[] = "readme.txt\r\n"
                                   "thumbnail.png\r\n"
                                   "ghost/master/*.txt\r\n"
                                   "ghost/master/*.dll\r\n"
                                   "ghost/master/*.ico\r\n"
                                   "shell/master/*.txt\r\n"
                                   "shell/master/*.png\r\n";

// misaka_vars.txt twice: the default has always listed it twice.
const char default_deny_files[] = "ghost/master/kuroha_savedata.txt\r\n"
                                  "ghost/master/kurohate.txt\r\n"
                                  "ghost/master/nsconf.txt\r\n"
                                  "ghost/master/Dict-KEEPSs.txt\r\n"
                                  "ghost/master/Dict-Learned.txt\r\n"
                                  "ghost/master/misaka_vars.txt\r\n"
                                  "ghost/master/misaka_vars.txt\r\n"
                                  "ghost/master/aya_variable.cfg\r\n";

const char crlf[] = "\r\n";

} // namespace

const char field_separator[] = "\x01";
const char line_break_mark[] = "\x02";

using K = SettingKind;
using R = FlagRule;

const Setting settings_catalogue[] = {
    {"is_upload", K::flag, R::on_unless_zero, "1"},
    {"host", K::text, R::none, "127.0.0.1"},
    {"id", K::text, R::none, "test"},
    {"password", K::password, R::none, "8642"},
    {"ghostroot", K::text, R::none, "homepage/myghost"},
    {"timediff", K::text, R::none, "0"},
    {"is_passive", K::flag, R::on_only_if_one, "0"},
    {"is_create_archive", K::flag, R::on_unless_zero, "1"},
    {"archive_filename", K::text, R::none, "myghost%year%month%day.nar"},
    {"archive_local_folder", K::text, R::none, nullptr},
    {"allow_files", K::list, R::none, default_allow_files},
    {"deny_files", K::list, R::none, default_deny_files},
    {"morelog", K::flag, R::on_unless_zero, "0"},
    {"yeardiff", K::flag, R::on_unless_zero, "0"},
    {"dog", K::flag, R::on_unless_zero, "1"},
};

const std::size_t settings_catalogue_size =
    sizeof settings_catalogue / sizeof settings_catalogue[0];

const Setting* find_setting(const std::string& key) {
    for (const Setting& s : settings_catalogue)
        if (key == s.key)
            return &s;
    return nullptr;
}

bool flag_is_on(const Setting& setting, const std::string& value) {
    switch (setting.rule) {
    case FlagRule::on_unless_zero:
        return value != "0";
    case FlagRule::on_only_if_one:
        return value == "1";
    case FlagRule::none:
        break;
    }
    return false;
}

void apply_defaults(SettingsMap& map, const std::string& program_dir) {
    for (const Setting& s : settings_catalogue)
        map[s.key] = s.default_value ? s.default_value : program_dir;
}

void to_memory_forms(SettingsMap& map) {
    for (const Setting& s : settings_catalogue) {
        if (s.kind == SettingKind::list)
            replace_all(map[s.key], line_break_mark, crlf);
        else if (s.kind == SettingKind::password)
            map[s.key] = unscramble_password(map[s.key]);
    }
}

namespace {

// CR LF and a lone LF each become one mark; a CR without LF stays. Neither
// CR nor LF is ever the second byte of a double-byte character, so a plain
// byte walk finds every line break and leaves no LF for the save to refuse.
// The result is never longer, so it is built in place.
void marks_for_line_breaks(std::string& value) {
    if (value.find('\n') == std::string::npos)
        return;
    char* const begin = &value[0];
    const char* const end = begin + value.size();
    char* to = begin;
    const char* from = begin;
    while (const char* lf = static_cast<const char*>(
               std::memchr(from, '\n', static_cast<std::size_t>(end - from)))) {
        const char* stop = (lf > from && lf[-1] == '\r') ? lf - 1 : lf;
        std::memmove(to, from, static_cast<std::size_t>(stop - from));
        to += stop - from;
        *to++ = line_break_mark[0];
        from = lf + 1;
    }
    std::memmove(to, from, static_cast<std::size_t>(end - from));
    to += end - from;
    value.resize(static_cast<std::size_t>(to - begin));
}

} // namespace

void to_file_forms(SettingsMap& map) {
    for (const Setting& s : settings_catalogue) {
        if (s.kind == SettingKind::list)
            marks_for_line_breaks(map[s.key]);
        else if (s.kind == SettingKind::password)
            map[s.key] = scramble_password(map[s.key]);
    }
}
