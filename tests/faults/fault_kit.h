// What the fault tests need beyond the end-to-end harness: editors started
// with the save pause of test builds, editors killed as a crash would end
// them, files held open by another program, and the temporary files that a
// save leaves beside the settings file.
#pragma once

#include "harness.h"
#include "settings_bytes.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace faults {

using e2e::Bytes;
using e2e::Values;

// Test builds of the editor read it: milliseconds to wait between the
// finished temporary file and putting it in place of the settings file.
constexpr char kSaveDelayVariable[] = "MABIRU_TEST_SAVE_DELAY_MS";

// Starts the editor at `exe`; a nonzero delay makes each of its saves pause
// for that long before replacing the settings file.
std::unique_ptr<e2e::Editor> start_editor(const std::string& exe, DWORD save_delay_ms = 0);

enum class Ending { killed, ended_by_itself, still_running };

// Ends the editor's process at once, as a crash or a power cut would, and
// waits until it is gone. `exit_code` receives the code it ended with.
Ending kill(const e2e::Editor& editor, DWORD* exit_code = nullptr);

// "<settings name>.~<process id in hex>.<counter>.tmp"
bool is_temporary_of(const std::string& name, const std::string& settings_name = "mabiru.dat");
std::vector<std::string> temporaries(const std::vector<std::string>& names);

// File names in `folder` (with its trailing backslash), sorted.
std::vector<std::string> names_in(const std::string& folder);
std::optional<Bytes> read_file(const std::string& path);
bool write_file(const std::string& path, const Bytes& bytes);

// A file that this process keeps open and shares with nobody, as another
// program might.
class HeldFile {
  public:
    HeldFile(const std::string& path, DWORD access);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
    // The whole file, read through the held handle.
    Bytes bytes() const;
    void release();

  private:
    HANDLE handle_;
};

// Byte-for-byte equality that names the first difference instead of
// printing both files.
::testing::AssertionResult same_bytes(const Bytes& actual, const Bytes& expected);

// Whether `box` is the editor's "cannot save" box for the editor in `folder`.
::testing::AssertionResult is_save_error(const e2e::Box& box, const std::string& folder);

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
