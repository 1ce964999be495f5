#include "settings_bytes.h"

#include <ctime>

#include "control_ids.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace e2e {
namespace {

// Pairs the bytes from both ends inwards: 0, n-1, 1, n-2, ..., middle last.
Bytes fold(const Bytes& x) {
    const size_t n = x.size();
    Bytes out;
    for (size_t i = 0; i < n / 2; ++i) {
        out += x[i];
        out += x[n - 1 - i];
    }
    if (n % 2)
        out += x[n / 2];
    return out;
}

} // namespace

Bytes lines(const std::vector<std::pair<std::string, Bytes>>& entries) {
    Bytes out;
    for (const auto& [key, value] : entries)
        out += key + kSep + value + "\r\n";
    return out;
}

Bytes file_of(const Values& values) {
    Bytes out;
    for (const auto& [key, value] : values)
        out += key + kSep + value + "\r\n";
    return out;
}

Bytes scrambled(const Bytes& plain) {
    static const char digits[] = "0123456789abcdef";
    Bytes hex;
    for (char c : fold(plain)) {
        unsigned char b = static_cast<unsigned char>(c) ^ 0x5D;
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return fold(hex);
}

Bytes crlf_lines(const std::vector<Bytes>& list) {
    Bytes out;
    for (const Bytes& line : list)
        out += line + "\r\n";
    return out;
}

Bytes marked_lines(const std::vector<Bytes>& list) {
    Bytes out;
    for (const Bytes& line : list)
        out += line + kMark;
    return out;
}

const std::vector<Bytes> kAllowFilesDefault = {
    "readme.txt",         "thumbnail.png",      "ghost/master/*.txt", "ghost/master/*.dll",
    "ghost/master/*.ico", "shell/master/*.txt", "shell/master/*.png",
};

const std::vector<Bytes> kDenyFilesDefault = {
    "ghost/master/kuroha_savedata.txt", "ghost/master/kurohate.txt",
    "ghost/master/nsconf.txt",          "ghost/master/Dict-KEEPSs.txt",
    "ghost/master/Dict-Learned.txt",    "ghost/master/misaka_vars.txt",
    "ghost/master/misaka_vars.txt",     "ghost/master/aya_variable.cfg",
};

Values first_start_file(const std::string& folder) {
    return {
        {"allow_files", marked_lines(kAllowFilesDefault)},
        {"archive_filename", "myghost%year%month%day.nar"},
        {"archive_local_folder", folder},
        {"deny_files", marked_lines(kDenyFilesDefault)},
        {"dog", "1"},
        {"ghostroot", "homepage/myghost"},
        {"host", "127.0.0.1"},
        {"id", "test"},
        {"is_create_archive", "1"},
        {"is_passive", "0"},
        {"is_upload", "1"},
        {"morelog", "0"},
        {"password", scrambled("8642")},
        {"timediff", "0"},
        {"yeardiff", "0"},
    };
}

Values empty_controls() {
    return {
        {"allow_files", ""}, {"archive_filename", ""},   {"archive_local_folder", ""},
        {"deny_files", ""},  {"ghostroot", ""},          {"host", ""},
        {"id", ""},          {"is_create_archive", "1"}, {"is_passive", "0"},
        {"is_upload", "1"},  {"password", ""},           {"timediff", ""},
    };
}

Values on_screen(const Editor& editor) {
    auto flag = [&](int id) { return Bytes(editor.checked(id) ? "1" : "0"); };
    return {
        {"allow_files", editor.text(IDC_ALLOW_FILES)},
        {"archive_filename", editor.text(IDC_ARCHIVE_FILENAME)},
        {"archive_local_folder", editor.text(IDC_ARCHIVE_FOLDER)},
        {"deny_files", editor.text(IDC_DENY_FILES)},
        {"ghostroot", editor.text(IDC_GHOST_ROOT)},
        {"host", editor.text(IDC_HOST)},
        {"id", editor.text(IDC_USER_ID)},
        {"is_create_archive", flag(IDC_CREATE_ARCHIVE)},
        {"is_passive", flag(IDC_PASSIVE)},
        {"is_upload", flag(IDC_UPLOAD)},
        {"password", editor.text(IDC_PASSWORD)},
        {"timediff", editor.text(IDC_TIME_DIFF)},
    };
}

Values sample_values() {
    return {
        {"allow_files", marked_lines({"readme.txt", "ghost/master/*.dic"})},
        {"archive_filename", "sample%year4.zip"},
        {"archive_local_folder", "D:\\archives\\"},
        {"deny_files", marked_lines({"ghost/master/save.txt"})},
        {"dog", "1"},
        {"ghostroot", "www/ghost/sample"},
        {"host", "ftp.example.org"},
        {"id", "author"},
        {"is_create_archive", "1"},
        {"is_passive", "1"},
        {"is_upload", "1"},
        {"morelog", "1"},
        {"password", scrambled("s3cret")},
        {"timediff", "-9"},
        {"yeardiff", "0"},
    };
}

std::vector<std::string> temporaries(const std::vector<std::string>& names) {
    // By the documented shape alone, "~m", a kind ("w", "k", "i", or "b" of
    // an earlier version) and seven lowercase letters or digits, not by the
    // editor's own check of the last two: a fault in that check must not
    // hide the editor's files from the tests meant to catch it.
    const auto temporary = [](const std::string& name) {
        return name.size() == 10 && name.compare(0, 2, "~m") == 0 &&
               std::string("wkib").find(name[2]) != std::string::npos &&
               std::all_of(name.begin() + 3, name.end(),
                           [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
    };
    std::vector<std::string> out;
    std::copy_if(names.begin(), names.end(), std::back_inserter(out), temporary);
    return out;
}

long long now_s() {
    return static_cast<long long>(std::time(nullptr));
}

std::string named_back(const Folder& folder, const std::string& name, int minutes) {
    const long long named_at = now_s() - temp_age_s(name, now_s());
    const std::string older = temp_name(temp_kind(name), named_at - minutes * 60LL);
    return MoveFileA(folder.file(name).c_str(), folder.file(older).c_str()) ? older : "";
}

Bytes load_error_text(const std::string& folder) {
    return folder + "\\mabiru.dat\n\n設定ファイルが読み込めませんでした。";
}

Bytes save_error_text(const std::string& folder) {
    // The path is the folder, a second backslash and the file name.
    return folder + "\\mabiru.dat\n\n設定ファイルが保存できませんでした。";
}

::testing::AssertionResult is_save_error(const Box& box, const std::string& folder) {
    const Bytes text = save_error_text(folder);
    if (box.caption != "error" || box.text != text || box.buttons != std::vector<int>{IDOK})
        return ::testing::AssertionFailure()
               << "a box \"" << escaped(box.caption) << "\" saying \"" << escaped(box.text)
               << "\" instead of the save error \"" << escaped(text) << "\"";
    return ::testing::AssertionSuccess();
}

} // namespace e2e
