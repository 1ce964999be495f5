#include "settings_bytes.h"

#include <ctime>

#include "control_ids.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace e2e {
namespace {

using ::testing::AssertionFailure;
using ::testing::AssertionResult;
using ::testing::AssertionSuccess;

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

// The twelve values the dialog shows, each in its control; a key missing
// from the file shows as `missing`.
enum class Shown { text, list, password, check };
const struct {
    const char* key;
    int id;
    Shown shown;
    const char* missing;
} kControls[] = {
    {"allow_files", IDC_ALLOW_FILES, Shown::list, ""},
    {"archive_filename", IDC_ARCHIVE_FILENAME, Shown::text, ""},
    {"archive_local_folder", IDC_ARCHIVE_FOLDER, Shown::text, ""},
    {"deny_files", IDC_DENY_FILES, Shown::list, ""},
    {"ghostroot", IDC_GHOST_ROOT, Shown::text, ""},
    {"host", IDC_HOST, Shown::text, ""},
    {"id", IDC_USER_ID, Shown::text, ""},
    {"is_create_archive", IDC_CREATE_ARCHIVE, Shown::check, "1"},
    {"is_passive", IDC_PASSIVE, Shown::check, "0"},
    {"is_upload", IDC_UPLOAD, Shown::check, "1"},
    {"password", IDC_PASSWORD, Shown::password, ""},
    {"timediff", IDC_TIME_DIFF, Shown::text, ""},
};

const std::vector<Bytes> kQuestions = {
    "経過を細かく表示しますか？",
    "リモート日時が１年遅れてたりしますか？",
    "犬は好きですか？",
};

} // namespace

Bytes lines(const std::vector<std::pair<std::string, Bytes>>& entries) {
    Bytes out;
    for (const auto& [key, value] : entries)
        out += key + kSep + value + "\r\n";
    return out;
}

Bytes file_of(const Values& values) {
    return lines({values.begin(), values.end()});
}

Values with(Values base, const Values& changes) {
    for (const auto& [key, value] : changes)
        base[key] = value;
    return base;
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
    Values out;
    for (const auto& control : kControls)
        out[control.key] = control.missing;
    return out;
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

Values on_screen(const Editor& editor) {
    Values out;
    for (const auto& c : kControls)
        out[c.key] =
            c.shown == Shown::check ? Bytes(editor.checked(c.id) ? "1" : "0") : editor.text(c.id);
    return out;
}

Values screen_of(const Values& file, const Bytes& plain) {
    Values out;
    for (const auto& control : kControls) {
        const auto found = file.find(control.key);
        Bytes value = found == file.end() ? Bytes() : found->second;
        if (control.shown == Shown::list)
            for (std::size_t at = 0; (at = value.find(kMark, at)) != Bytes::npos; at += 2)
                value.replace(at, 1, "\r\n");
        out[control.key] = control.shown == Shown::password ? plain : value;
    }
    return out;
}

AssertionResult shows(const Editor& editor, const Values& expected) {
    const Values shown = on_screen(editor);
    AssertionResult result = AssertionSuccess();
    for (const auto& [key, value] : expected) {
        const auto found = shown.find(key);
        if (found != shown.end() && found->second == value)
            continue;
        if (result)
            result = AssertionFailure() << "the dialog shows";
        result << "\n  " << key << ": "
               << (found == shown.end() ? "(no such field)" : "\"" + escaped(found->second) + "\"")
               << " instead of \"" << escaped(value) << "\"";
    }
    return result;
}

void type(const Editor& editor, const Values& texts) {
    for (const auto& [key, text] : texts) {
        const auto control = std::find_if(std::begin(kControls), std::end(kControls),
                                          [&](const auto& c) { return c.key == key; });
        if (control == std::end(kControls) || control->shown == Shown::check)
            ADD_FAILURE() << "no text field shows " << key;
        else
            editor.type(control->id, text);
    }
}

std::vector<std::string> temporaries(const std::vector<std::string>& names) {
    // By the documented shape alone, "~m", a kind ("w", "k", "i", "o", or "b"
    // of an earlier version) and seven lowercase letters or digits, not by the
    // editor's own check of the last two: a fault in that check must not
    // hide the editor's files from the tests meant to catch it.
    const auto temporary = [](const std::string& name) {
        return name.size() == 10 && name.compare(0, 2, "~m") == 0 &&
               std::string("wkiob").find(name[2]) != std::string::npos &&
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

Bytes load_error_text(const std::string& folder) {
    return folder + "\\mabiru.dat\n\n設定ファイルが読み込めませんでした。";
}

AssertionResult is_save_error(const Editor& editor, const Box& box, const std::string& folder) {
    // The path is the folder, a second backslash and the file name.
    const Bytes text = folder + "\\mabiru.dat\n\n設定ファイルが保存できませんでした。";
    if (box.caption != "error" || box.text != text || box.buttons != std::vector<int>{IDOK} ||
        box.default_button != IDOK || box.shows_icon)
        return AssertionFailure() << "a box \"" << escaped(box.caption) << "\" saying \""
                                  << escaped(box.text) << "\" (" << box.buttons.size()
                                  << " buttons, default " << box.default_button
                                  << (box.shows_icon ? ", an icon" : "")
                                  << ") instead of the save error \"" << escaped(text)
                                  << "\" with its OK button alone";
    if (GetWindow(box.window, GW_OWNER) != editor.dialog())
        return AssertionFailure() << "the save error box is not owned by the dialog";
    return AssertionSuccess();
}

AssertionResult answers_save_error(const Editor& editor, const Box& box, const std::string& folder,
                                   const std::function<void()>& meanwhile) {
    AssertionResult result = is_save_error(editor, box, folder);
    if (meanwhile)
        meanwhile();
    if (AssertionResult answered = editor.answer(box, IDOK); result && !answered)
        result = answered;
    if (result && !editor.still_open())
        result = AssertionFailure() << "the dialog closed with the save error box";
    return result;
}

AssertionResult ok_cannot_save(const Editor& editor, const std::string& folder,
                               const std::function<void()>& meanwhile) {
    editor.click(IDOK);
    const std::optional<Box> box = editor.wait_box();
    if (!box)
        return AssertionFailure() << "no error box, and the editor "
                                  << (editor.still_open() ? "is still open" : "has ended");
    return answers_save_error(editor, *box, folder, meanwhile);
}

AssertionResult ok_saves(Editor& editor, const std::string& path, const Values& expected) {
    editor.click(IDOK);
    if (AssertionResult ended = editor.exits_with(0); !ended)
        return ended;
    return same_bytes(read_file(path).value_or("(missing)"), file_of(expected));
}

Answers ask(const Editor& editor, const Answers& answers) {
    Answers defaults;
    editor.click(IDC_DOG);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const std::optional<Box> box = editor.wait_box();
        if (!box) {
            ADD_FAILURE() << "question " << i + 1 << " did not appear";
            defaults.push_back(0);
            continue;
        }
        SCOPED_TRACE("question " + std::to_string(i + 1));
        EXPECT_EQ(box->caption, "詳しい設定");
        EXPECT_EQ(box->text, kQuestions[i]);
        EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO}));
        EXPECT_FALSE(box->shows_icon);
        EXPECT_EQ(GetWindow(box->window, GW_OWNER), editor.dialog());
        defaults.push_back(box->default_button);
        EXPECT_TRUE(editor.answer(*box, answers[i]));
    }
    // Always all three, then nothing more.
    EXPECT_FALSE(editor.wait_box(300)) << "a fourth box appeared";
    return defaults;
}

AssertionResult EditorTest::start() {
    editor.emplace(exe);
    return editor->opened();
}

AssertionResult EditorTest::open_bytes(const Bytes& file) {
    folder.write("mabiru.dat", file);
    return start();
}

} // namespace e2e
