// What the tests know of mabiru.dat, written independently of the program:
// the line layout, the key order, the defaults, the password scrambling, the
// temporary files of a save and the box that says a save failed.
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

// What the dialog shows, keyed like the file: texts as the controls hold them
// (lists with CR LF, the password plain), check boxes as "1" or "0".
Values on_screen(const Editor& editor);

// The settings file that the tests prepare as "someone saved this before".
Values sample_values();

// The names among `names` shaped like a save's temporary file.
std::vector<std::string> temporaries(const std::vector<std::string>& names);

// Seconds since 1970, as the editor's names tell time.
long long now_s();
// Renames a file of the editor's naming in `folder` to the same kind named
// `minutes` earlier, as a save that long ago would have named it; the new
// name, or empty when the rename failed.
std::string named_back(const Folder& folder, const std::string& name, int minutes);

// The text of the "cannot save" box for the editor in `folder` (with its
// trailing backslash).
Bytes save_error_text(const std::string& folder);
// The text of the "cannot read" box that ends an editor in `folder` whose
// settings file is there but cannot be read.
Bytes load_error_text(const std::string& folder);

// Whether `box` is the editor's "cannot save" box for the editor in `folder`.
::testing::AssertionResult is_save_error(const Box& box, const std::string& folder);

} // namespace e2e
