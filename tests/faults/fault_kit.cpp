#include "fault_kit.h"

#include "control_ids.h"

#include <cstdio>
#include <optional>

namespace faults {

std::unique_ptr<e2e::Editor> start_editor(const std::string& exe, DWORD save_delay_ms) {
    // Without a delay the variable is removed, whatever this process has.
    std::optional<std::string> delay;
    if (save_delay_ms > 0)
        delay = std::to_string(save_delay_ms);
    return std::make_unique<e2e::Editor>(exe, "", "",
                                         e2e::Environment{{kSaveDelayVariable, delay}});
}

std::vector<Bytes> file_list(const std::string& tag, int count) {
    std::vector<Bytes> out;
    char line[96];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "ghost/master/%s/dict-%04d.txt", tag.c_str(), i);
        out.push_back(line);
    }
    return out;
}

namespace {

Bytes as_shown(const Bytes& stored_list) {
    Bytes out;
    for (char c : stored_list) {
        if (c == e2e::kMark)
            out += "\r\n";
        else
            out += c;
    }
    return out;
}

} // namespace

Version version_of(const Values& file_values, const Bytes& plain_password) {
    auto value = [&](const char* key) {
        auto it = file_values.find(key);
        return it == file_values.end() ? Bytes() : it->second;
    };
    Version v;
    v.file = file_values;
    v.screen = {
        {"allow_files", as_shown(value("allow_files"))},
        {"archive_filename", value("archive_filename")},
        {"archive_local_folder", value("archive_local_folder")},
        {"deny_files", as_shown(value("deny_files"))},
        {"ghostroot", value("ghostroot")},
        {"host", value("host")},
        {"id", value("id")},
        {"is_create_archive", value("is_create_archive")},
        {"is_passive", value("is_passive")},
        {"is_upload", value("is_upload")},
        {"password", plain_password},
        {"timediff", value("timediff")},
    };
    return v;
}

Version type_new_values(const e2e::Editor& editor, const Version& base, const std::string& tag,
                        int list_lines) {
    Version v = base;
    auto put = [&](int id, const char* key, const Bytes& text) {
        editor.type(id, text);
        v.screen[key] = text;
        v.file[key] = text;
    };
    put(IDC_HOST, "host", tag + ".example.org");
    put(IDC_USER_ID, "id", "user-" + tag);
    put(IDC_PASSWORD, "password", "pw-" + tag);
    v.file["password"] = e2e::scrambled("pw-" + tag);
    put(IDC_GHOST_ROOT, "ghostroot", "www/ghost/" + tag);
    put(IDC_TIME_DIFF, "timediff", std::to_string(tag.size()));
    put(IDC_ARCHIVE_FILENAME, "archive_filename", tag + "%year4%month.nar");
    put(IDC_ARCHIVE_FOLDER, "archive_local_folder", "C:\\archives\\" + tag + "\\");
    const std::vector<Bytes> allow = file_list(tag, list_lines);
    put(IDC_ALLOW_FILES, "allow_files", e2e::crlf_lines(allow));
    v.file["allow_files"] = e2e::marked_lines(allow);
    const std::vector<Bytes> deny = {"ghost/master/" + tag + "-save.txt"};
    put(IDC_DENY_FILES, "deny_files", e2e::crlf_lines(deny));
    v.file["deny_files"] = e2e::marked_lines(deny);
    return v;
}

} // namespace faults
