// What the tests know of mabiru.dat, written independently of the program:
// the line layout, the key order, the defaults, the password scrambling, the
// temporary files of a save, the boxes the editor shows, and the routine
// most tests start with: an editor on a fresh folder.
#pragma once

#include "harness.h"

#include "settings/temp_files.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// std::string orders its bytes as unsigned values, as the file does.
using Values = std::map<std::string, Bytes>;

constexpr char kSep = '\x01';
constexpr char kMark = '\x02';

// One file line per pair, in the given order: key, 0x01, value, CR LF.
Bytes lines(const std::vector<std::pair<std::string, Bytes>>& entries);
// The file the editor writes for these values: lines in key order.
Bytes file_of(const Values& values);
// `base` with `changes` set or added.
Values with(Values base, const Values& changes);

// The stored form of a password.
Bytes scrambled(const Bytes& plain);

// Lists as an edit control holds them and as the file stores them.
Bytes crlf_lines(const std::vector<Bytes>& lines);
Bytes marked_lines(const std::vector<Bytes>& lines);

extern const std::vector<Bytes> kAllowFilesDefault;
extern const std::vector<Bytes> kDenyFilesDefault;

// The fifteen values that OK writes on a first start, for an editor whose
// own folder is `folder` (with its trailing backslash).
Values first_start_file(const std::string& folder);

// The twelve values that OK writes when the file had none of them: empty
// texts, upload and archive on, passive mode off.
Values empty_controls();

// The settings file that the tests prepare as "someone saved this before".
Values sample_values();

// A folder's names with nothing beside the editor and its settings file.
const std::vector<std::string> exe_and_settings = {"mabiru-setup.exe", "mabiru.dat"};

// What the dialog shows, keyed like the file: texts as the controls hold them
// (lists with CR LF, the password plain), check boxes as "1" or "0".
Values on_screen(const Editor& editor);
// What the dialog shows for a file of `file`, whose password is `plain`.
Values screen_of(const Values& file, const Bytes& plain);
// The dialog shows these of its values; a failure names each that differs.
::testing::AssertionResult shows(const Editor& editor, const Values& expected);
// Types each text into the control that shows its key.
void type(const Editor& editor, const Values& texts);

// The names among `names` shaped like a save's temporary file.
std::vector<std::string> temporaries(const std::vector<std::string>& names);

// Seconds since 1970, as the editor's names tell time.
long long now_s();

// The text of the "cannot read" box that ends an editor in `folder` (with
// its trailing backslash) whose settings file is there but cannot be read.
Bytes load_error_text(const std::string& folder);

// `box` is the editor's "cannot save" box for the editor in `folder`: its
// caption, text and single OK button, no icon, owned by the dialog.
::testing::AssertionResult is_save_error(const Editor& editor, const Box& box,
                                         const std::string& folder);
// Answers that box, which `meanwhile` may look at first; the dialog stays.
::testing::AssertionResult answers_save_error(const Editor& editor, const Box& box,
                                              const std::string& folder,
                                              const std::function<void()>& meanwhile = {});
// OK opens that box, and answering it leaves the dialog open.
::testing::AssertionResult ok_cannot_save(const Editor& editor, const std::string& folder,
                                          const std::function<void()>& meanwhile = {});
// OK ends the editor with exit code 0 and the file at `path` holds exactly
// the file of `expected`.
::testing::AssertionResult ok_saves(Editor& editor, const std::string& path,
                                    const Values& expected);

using Answers = std::vector<int>;
// Presses the dog button and answers its three yes/no questions in turn,
// checking each box; returns the default button each offered (0 where a
// box did not appear).
Answers ask(const Editor& editor, const Answers& answers);

// One editor on a fresh folder that holds a copy of it and, when the test
// writes one, its settings file.
class EditorTest : public ::testing::Test {
  protected:
    // Starts the editor, again if it ran before, and waits for its dialog.
    ::testing::AssertionResult start();
    // Writes the settings file, then starts the editor.
    ::testing::AssertionResult open(const Values& file) { return open_bytes(file_of(file)); }
    ::testing::AssertionResult open_bytes(const Bytes& file);
    ::testing::AssertionResult ok_saves(const Values& expected) {
        return e2e::ok_saves(*editor, folder.file("mabiru.dat"), expected);
    }
    ::testing::AssertionResult ok_cannot_save(const std::function<void()>& meanwhile = {}) {
        return e2e::ok_cannot_save(*editor, folder.path(), meanwhile);
    }
    Bytes settings() const { return folder.read("mabiru.dat").value_or("(missing)"); }

    Folder folder;
    const std::string exe = folder.add_editor();
    std::optional<Editor> editor;
};

template <typename Row>
class EditorTestWithParam : public EditorTest, public ::testing::WithParamInterface<Row> {};

// Names a table's test after its row's `name`.
struct RowName {
    template <typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
        return info.param.name;
    }
};

} // namespace e2e
