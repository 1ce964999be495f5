// Drives the real editor the way a person would: a fresh folder with a copy
// of the exe, a started process, its dialog found by caption, window messages
// to type and click, and the settings file read back byte for byte.
// Every wait has a deadline; a process still running at the end of a test is
// terminated, so a stuck dialog fails its test instead of hanging the suite.
// Deadlines are stretched by MABIRU_WAIT_SCALE (a number, 1 when unset) on
// slow machines such as an emulated one; they only bound waits for things
// that do happen, so a longer one never lets a test pass.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// Settings files and window texts are code page 932 bytes.
using Bytes = std::string;

// Deadlines as on a fast machine; every wait of the harness stretches them.
constexpr DWORD kOpenTimeoutMs = 15000;
constexpr DWORD kExitTimeoutMs = 10000;
constexpr DWORD kBoxTimeoutMs = 10000;

// The factor from MABIRU_WAIT_SCALE, at least 1.
double wait_scale();
// `ms` stretched by wait_scale().
DWORD scaled(DWORD ms);

// This process's environment variable `name`; nothing when it is unset.
std::optional<std::string> variable(const std::string& name);

// Calls ready() every few milliseconds until it answers true or the time,
// scaled, is up.
bool poll_until(const std::function<bool()>& ready, DWORD timeout_ms);

// Windows paths (ANSI) of the programs under test: built next to this one,
// or given at run time in MABIRU_E2E_EDITOR, MABIRU_E2E_RECORDER and
// MABIRU_E2E_ANNOTATION_SERVICE (host paths are fine) to test an exe built
// elsewhere, such as the shipped one.
std::string editor_exe();
std::string recorder_exe();
// The stand-in for the annotation service (acc_prop_recorder.cpp).
std::string annotation_service_dll();

// File names in `folder` (with its trailing backslash), sorted.
std::vector<std::string> names_in(const std::string& folder);
// Reads a file that others may be writing, renaming or deleting; nothing if
// it cannot be opened.
std::optional<Bytes> read_file(const std::string& path);
// Creates or replaces a file; false unless every byte was written.
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

// The wide form of an ANSI path.
std::wstring wide_path(const std::string& path);
// Removes a folder (its path with the trailing backslash) and all in it,
// read-only or named outside the ANSI code page as well. A link to a folder
// is removed, not followed.
void remove_tree(const std::wstring& dir);

// A fresh, empty folder named after the current test (and `sub`, for a
// test that needs several), removed when the test passes.
class Folder {
  public:
    explicit Folder(const std::string& sub = "");
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The folder's path with its trailing backslash.
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + name; }

    // Copies the editor here and answers the copy's full path.
    std::string add_editor(const std::string& exe_name = "mabiru-setup.exe") const;
    std::string add_copy(const std::string& from, const std::string& name) const;

    void write(const std::string& name, const Bytes& bytes) const;
    std::optional<Bytes> read(const std::string& name) const;
    bool exists(const std::string& name) const;
    std::vector<std::string> names() const;
    void set_read_only(const std::string& name, bool read_only) const;
    // Dates the file's last write `minutes` back.
    void set_age(const std::string& name, int minutes) const;

  private:
    std::string path_;
};

// What a message box shows: caption, text, its buttons and the default one.
struct Box {
    HWND window = nullptr;
    std::string caption;
    Bytes text;
    std::vector<int> buttons; // control IDs, ascending
    int default_button = 0;   // ID of the BS_DEFPUSHBUTTON button, 0 for none
    bool shows_icon = false;
};

// Variables set for a started editor over this process's own; one without
// a value is removed.
using Environment = std::vector<std::pair<std::string, std::optional<std::string>>>;

// How Editor::kill() found the process end.
enum class Ending { killed, ended_by_itself, still_running };

// The ways a person ends the dialog.
enum class Way { Ok, Cancel, Escape, CloseBox };
// The way's name, for parameterised test names.
std::string way_name(const ::testing::TestParamInfo<Way>& info);

// One running copy of the editor.
class Editor {
  public:
    // Starts exe with an optional command-line tail, working directory and
    // environment variables.
    explicit Editor(const std::string& exe, const std::string& args = "",
                    const std::string& work_dir = "", const Environment& environment = {});
    // Starts an exe whose path the ANSI code page cannot spell.
    explicit Editor(const std::wstring& exe);
    ~Editor();
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    // Waits until the dialog is shown and idle.
    ::testing::AssertionResult opened();

    HWND dialog() const { return dialog_; }
    DWORD process_id() const { return info_.dwProcessId; }
    HWND item(int id) const;

    Bytes text(int id) const;
    void type(int id, const Bytes& text) const; // WM_SETTEXT
    bool checked(int id) const;
    bool enabled(int id) const;

    void click(int id) const; // BM_CLICK, posted
    // Clicks a check box and waits until the click has been handled.
    ::testing::AssertionResult toggle(int id) const;
    void press_escape() const;
    void press_close_box() const;
    // OK or Cancel clicked, Esc pressed, or the close box.
    void close_by(Way way) const;

    // Waits for a message box owned by the dialog.
    std::optional<Box> wait_box(DWORD timeout_ms = kBoxTimeoutMs) const;
    // Clicks one of the box's buttons and waits until the box has gone.
    ::testing::AssertionResult answer(const Box& box, int button) const;

    // Waits for the process to end and checks its exit code. A message box
    // that is still open is named in the failure.
    ::testing::AssertionResult exits_with(DWORD code, DWORD timeout_ms = kExitTimeoutMs);
    // True while the process is still running and its dialog is still there.
    bool still_open() const;
    bool running() const;
    // Whether a visible setup dialog of this process is on the screen.
    bool shows_dialog() const;
    // Ends the process at once, as a crash would, and waits
    // until it is gone. `exit_code` receives the code it ended with.
    Ending kill(DWORD* exit_code = nullptr);

  private:
    std::optional<Box> find_box() const;

    PROCESS_INFORMATION info_{};
    HWND dialog_ = nullptr;
};

// Reads a box that is known to be open.
Box read_box(HWND box);
// Text of any window of another process, through WM_GETTEXT.
Bytes window_text(HWND window);
std::string class_name(HWND window);

// Shows bytes with control and non-ASCII bytes escaped, for failure messages.
std::string escaped(const Bytes& bytes);
// Byte-for-byte equality that names the first difference instead of
// printing both files.
::testing::AssertionResult same_bytes(const Bytes& actual, const Bytes& expected);

} // namespace e2e
