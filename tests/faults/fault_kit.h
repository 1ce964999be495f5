// What the fault tests need beyond the end-to-end harness: editors started
// with the save pause of test builds, and new values typed into every field.
#pragma once

#include "harness.h"
#include "settings/test_hooks.h"
#include "settings_bytes.h"

#include <memory>
#include <string>
#include <vector>

namespace faults {

using e2e::Bytes;
using e2e::Values;

// Starts the editor at `exe`; a nonzero delay makes each of its saves pause
// for that long before replacing the settings file.
std::unique_ptr<e2e::Editor> start_editor(const std::string& exe, DWORD save_delay_ms = 0);

// A file list of `count` lines, each naming `tag`.
std::vector<Bytes> file_list(const std::string& tag, int count);

// What the user typed into the dialog: the values the settings file should
// hold afterwards, and what the dialog shows for them.
struct Version {
    Values file;
    Values screen;
};

// The version of a file holding `file_values`, as the dialog shows it.
Version version_of(const Values& file_values, const Bytes& plain_password);

// Types a new text, named after `tag`, into every text field of `editor`,
// with a file list of `list_lines` lines; `base` is what the editor loaded.
Version type_new_values(const e2e::Editor& editor, const Version& base, const std::string& tag,
                        int list_lines);

} // namespace faults
