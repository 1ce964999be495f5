#include "fault_kit.h"

#include <cstdio>
#include <optional>

namespace faults {

std::unique_ptr<e2e::Editor> start_editor(const std::string& exe, DWORD save_delay_ms) {
    // Without a delay the variable is removed, whatever this process has.
    std::optional<std::string> delay;
    if (save_delay_ms > 0)
        delay = std::to_string(save_delay_ms);
    return std::make_unique<e2e::Editor>(exe, "", "",
                                         e2e::Environment{{MABIRU_SAVE_DELAY_ENV, delay}});
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

Version version_of(const Values& file_values, const Bytes& plain_password) {
    return {file_values, e2e::screen_of(file_values, plain_password)};
}

Version type_new_values(const e2e::Editor& editor, const Version& base, const std::string& tag,
                        int list_lines) {
    const std::vector<Bytes> allow = file_list(tag, list_lines);
    const std::vector<Bytes> deny = {"ghost/master/" + tag + "-save.txt"};
    const Values texts = {
        {"allow_files", e2e::crlf_lines(allow)},
        {"archive_filename", tag + "%year4%month.nar"},
        {"archive_local_folder", "C:\\archives\\" + tag + "\\"},
        {"deny_files", e2e::crlf_lines(deny)},
        {"ghostroot", "www/ghost/" + tag},
        {"host", tag + ".example.org"},
        {"id", "user-" + tag},
        {"password", "pw-" + tag},
        {"timediff", std::to_string(tag.size())},
    };
    e2e::type(editor, texts);
    return {e2e::with(base.file, e2e::with(texts, {{"allow_files", e2e::marked_lines(allow)},
                                                   {"deny_files", e2e::marked_lines(deny)},
                                                   {"password", e2e::scrambled("pw-" + tag)}})),
            e2e::with(base.screen, texts)};
}

} // namespace faults
