#include "harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace e2e {
namespace {

constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kPollStepMs = 15;
constexpr UINT kKilledExitCode = 137;

// The build hands us host paths; inside Wine they need a drive letter.
std::string windows_path(const char* path) {
    std::string p(path);
    if (p.empty() || p[0] != '/')
        return p;
    using ToDos = WCHAR*(CDECL*)(const char*);
    auto to_dos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (to_dos) {
        if (WCHAR* wide = to_dos(path)) {
            char buf[MAX_PATH * 2];
            int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, buf, sizeof buf, nullptr, nullptr);
            HeapFree(GetProcessHeap(), 0, wide);
            if (n > 0)
                return buf;
        }
    }
    std::replace(p.begin(), p.end(), '/', '\\');
    return "Z:" + p;
}

std::string current_test_name() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c)) && c != '.')
            c = '_';
    return name;
}

struct Search {
    DWORD pid;
    HWND exclude;
    const char* caption; // null: any caption
    const char* cls;     // null: any class
    HWND found;
};

BOOL CALLBACK find_top_level(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != s->pid || w == s->exclude || !IsWindowVisible(w))
        return TRUE;
    if (s->cls && class_name(w) != s->cls)
        return TRUE;
    if (s->caption && window_text(w) != s->caption)
        return TRUE;
    s->found = w;
    return FALSE;
}

DWORD_PTR sends(HWND w, UINT message, WPARAM wp = 0, LPARAM lp = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(w, message, wp, lp, SMTO_ABORTIFHUNG, scaled(kSendTimeoutMs), &result);
    return result;
}

BOOL CALLBACK collect_child(HWND w, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
    return TRUE;
}

void set_variable(const std::string& name, const std::optional<std::string>& value) {
    SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
}

// The whole file, read from its start through `h`.
Bytes read_all(HANDLE h) {
    Bytes bytes;
    SetFilePointer(h, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

} // namespace

std::optional<std::string> variable(const std::string& name) {
    const DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (size == 0)
        return std::nullopt;
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA(name.c_str(), value.data(), size));
    return value;
}

std::wstring wide_path(const std::string& path) {
    std::wstring wide(path.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) - 1 : 0);
    return wide;
}

void remove_tree(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW((dir + L"*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = dir + name;
            const DWORD attributes = found.dwFileAttributes;
            // A link goes by itself; what it leads to is not ours.
            if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(full.c_str());
            else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                RemoveDirectoryW(full.c_str());
            else
                remove_tree(full + L"\\");
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(dir.c_str());
}

double wait_scale() {
    static const double scale = [] {
        const std::optional<std::string> text = variable("MABIRU_WAIT_SCALE");
        const double value = text ? std::strtod(text->c_str(), nullptr) : 1.0;
        // Garbage or a shrinking factor would only make tests fail at random.
        return value >= 1.0 && value <= 1000.0 ? value : 1.0;
    }();
    return scale;
}

DWORD scaled(DWORD ms) {
    return static_cast<DWORD>(ms * wait_scale());
}

bool poll_until(const std::function<bool()>& ready, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + scaled(timeout_ms);
    for (;;) {
        if (ready())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        // Each look costs the machine too: a slow one looks less often.
        Sleep(scaled(kPollStepMs));
    }
}

std::string editor_exe() {
    return windows_path(variable("MABIRU_E2E_EDITOR").value_or(MABIRU_E2E_EDITOR).c_str());
}
std::string recorder_exe() {
    return windows_path(variable("MABIRU_E2E_RECORDER").value_or(MABIRU_E2E_RECORDER).c_str());
}
std::string annotation_service_dll() {
    return windows_path(
        variable("MABIRU_E2E_ANNOTATION_SERVICE").value_or(MABIRU_E2E_ANNOTATION_SERVICE).c_str());
}

std::string escaped(const Bytes& bytes) {
    std::string out;
    char buf[8];
    for (unsigned char c : bytes) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

::testing::AssertionResult same_bytes(const Bytes& actual, const Bytes& expected) {
    if (actual == expected)
        return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    const std::size_t from = at < 24 ? 0 : at - 24;
    return ::testing::AssertionFailure()
           << actual.size() << " bytes instead of " << expected.size()
           << ", first difference at byte " << at << ":\n  actual   ..."
           << escaped(actual.substr(from, 64)) << "\n  expected ..."
           << escaped(expected.substr(from, 64));
}

std::string class_name(HWND window) {
    char buf[256] = {};
    GetClassNameA(window, buf, sizeof buf);
    return buf;
}

Bytes window_text(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                             scaled(kSendTimeoutMs), &length))
        return {};
    // Across processes the length may be counted in UTF-16 units: leave room.
    std::vector<char> buf(length * 2 + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                             SMTO_ABORTIFHUNG, scaled(kSendTimeoutMs), &copied))
        return {};
    return Bytes(buf.data());
}

// ---------------------------------------------------------------- Files

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            out.push_back(name);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

std::optional<Bytes> read_file(const std::string& path) {
    // Sharing delete too: a file just renamed into place is still open with
    // delete access in the process that moved it, and a reader that does
    // not share that fails to open it.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const Bytes bytes = read_all(h);
    CloseHandle(h);
    return bytes;
}

bool write_file(const std::string& path, const Bytes& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
                    put == bytes.size();
    return CloseHandle(h) && ok;
}

HeldFile::HeldFile(const std::string& path, DWORD access)
    : handle_(CreateFileA(path.c_str(), access, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE)
        ADD_FAILURE() << "cannot hold " << escaped(path) << " open (error " << GetLastError()
                      << ")";
}

HeldFile::~HeldFile() {
    release();
}

Bytes HeldFile::bytes() const {
    return is_open() ? read_all(handle_) : Bytes();
}

void HeldFile::release() {
    if (is_open())
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

// ---------------------------------------------------------------- Folder

Folder::Folder(const std::string& sub) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string base = std::string(temp) + "mabiru-e2e\\";
    CreateDirectoryA(base.c_str(), nullptr);
    path_ = base + current_test_name() + (sub.empty() ? "" : "." + sub) + "\\";
    // What a failed run left for a look goes now, whatever its names.
    remove_tree(wide_path(path_));
    if (!CreateDirectoryA(path_.c_str(), nullptr)) {
        const DWORD error = GetLastError();
        ADD_FAILURE() << "cannot create " << escaped(path_) << " (error " << error << ")"
                      << (error == ERROR_ALREADY_EXISTS
                              ? ": an earlier run's folder could not be removed; is a file in "
                                "it still open?"
                              : "");
    }
}

Folder::~Folder() {
    // A failed test leaves its folder behind for a look at what happened;
    // the next Folder of that name clears it.
    if (!::testing::Test::HasFailure())
        remove_tree(wide_path(path_));
}

std::string Folder::add_copy(const std::string& from, const std::string& name) const {
    std::string to = path_ + name;
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE))
        ADD_FAILURE() << "cannot copy " << from << " to " << escaped(to) << " (error "
                      << GetLastError() << ")";
    return to;
}

std::string Folder::add_editor(const std::string& exe_name) const {
    return add_copy(editor_exe(), exe_name);
}

void Folder::write(const std::string& name, const Bytes& bytes) const {
    ASSERT_TRUE(write_file(file(name), bytes)) << "cannot write " << escaped(file(name));
}

std::optional<Bytes> Folder::read(const std::string& name) const {
    return read_file(file(name));
}

bool Folder::exists(const std::string& name) const {
    return GetFileAttributesA(file(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> Folder::names() const {
    return names_in(path_);
}

void Folder::set_read_only(const std::string& name, bool read_only) const {
    ASSERT_TRUE(SetFileAttributesA(file(name).c_str(),
                                   read_only ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
}

void Folder::set_age(const std::string& name, int minutes) const {
    const HANDLE h = CreateFileA(file(name).c_str(), FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot open " << escaped(file(name));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= static_cast<ULONGLONG>(minutes) * 60 * 10000000;
    const FILETIME then{t.LowPart, t.HighPart};
    const BOOL set = SetFileTime(h, nullptr, nullptr, &then);
    CloseHandle(h);
    ASSERT_TRUE(set);
}

// ---------------------------------------------------------------- Editor

Editor::Editor(const std::string& exe, const std::string& args, const std::string& work_dir,
               const Environment& environment) {
    std::string command = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // The child takes this process's environment as it is at its start;
    // ours is put back right after.
    Environment previous;
    for (const auto& [name, value] : environment) {
        previous.emplace_back(name, variable(name));
        set_variable(name, value);
    }
    const BOOL started =
        CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       work_dir.empty() ? nullptr : work_dir.c_str(), &startup, &info_);
    const DWORD error = GetLastError();
    for (auto it = previous.rbegin(); it != previous.rend(); ++it)
        set_variable(it->first, it->second);
    if (!started) {
        ADD_FAILURE() << "cannot start " << escaped(exe) << " (error " << error << ")";
        info_ = {};
    }
}

Editor::Editor(const std::wstring& exe) {
    std::wstring command = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info_)) {
        ADD_FAILURE() << "cannot start the editor (error " << GetLastError() << ")";
        info_ = {};
    }
}

Editor::~Editor() {
    if (!info_.hProcess)
        return;
    if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
        if (!::testing::Test::HasFailure())
            ADD_FAILURE() << "the editor was still running at the end of the test";
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, scaled(5000));
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

::testing::AssertionResult Editor::opened() {
    if (!info_.hProcess)
        return ::testing::AssertionFailure() << "the editor was not started";
    Search s{info_.dwProcessId, nullptr, "MABIRU - setup", "#32770", nullptr};
    bool gone = false;
    poll_until(
        [&] {
            s.found = nullptr;
            EnumWindows(find_top_level, reinterpret_cast<LPARAM>(&s));
            gone = WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0;
            return s.found || gone;
        },
        kOpenTimeoutMs);
    if (!s.found) {
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        if (gone)
            return ::testing::AssertionFailure()
                   << "the editor ended with exit code " << static_cast<int>(code)
                   << " without showing its dialog";
        return ::testing::AssertionFailure()
               << "no dialog \"MABIRU - setup\" within " << scaled(kOpenTimeoutMs) << " ms";
    }
    dialog_ = s.found;
    WaitForInputIdle(info_.hProcess, scaled(kOpenTimeoutMs));
    return ::testing::AssertionSuccess();
}

HWND Editor::item(int id) const {
    return GetDlgItem(dialog_, id);
}

Bytes Editor::text(int id) const {
    return window_text(item(id));
}

void Editor::type(int id, const Bytes& text) const {
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                    SMTO_ABORTIFHUNG, scaled(kSendTimeoutMs), &result))
        << "WM_SETTEXT to item " << id;
}

bool Editor::checked(int id) const {
    return sends(item(id), BM_GETCHECK) == BST_CHECKED;
}

bool Editor::enabled(int id) const {
    return IsWindowEnabled(item(id)) != FALSE;
}

void Editor::click(int id) const {
    HWND control = item(id);
    ASSERT_NE(control, nullptr) << "no item " << id;
    PostMessageA(control, BM_CLICK, 0, 0);
}

::testing::AssertionResult Editor::toggle(int id) const {
    const bool before = checked(id);
    click(id);
    // BM_GETCHECK is answered between messages, so once it shows the new
    // state the whole click, including the dialog's reaction, is done.
    if (!poll_until([&] { return checked(id) != before; }, kBoxTimeoutMs))
        return ::testing::AssertionFailure() << "check box " << id << " did not toggle";
    return ::testing::AssertionSuccess();
}

void Editor::press_escape() const {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    HWND target = dialog_;
    // Right after a message box closes the focus may still be on its way
    // back; the dialog itself takes the key just as well.
    if (GetGUIThreadInfo(info_.dwThreadId, &gui) && gui.hwndFocus &&
        IsChild(dialog_, gui.hwndFocus))
        target = gui.hwndFocus;
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void Editor::press_close_box() const {
    PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void Editor::close_by(Way way) const {
    switch (way) {
    case Way::Ok:
        click(IDOK);
        break;
    case Way::Cancel:
        click(IDCANCEL);
        break;
    case Way::Escape:
        press_escape();
        break;
    case Way::CloseBox:
        press_close_box();
        break;
    }
}

std::string way_name(const ::testing::TestParamInfo<Way>& info) {
    static const char* const names[] = {"Ok", "Cancel", "Escape", "CloseBox"};
    return names[static_cast<int>(info.param)];
}

Box read_box(HWND box) {
    Box b;
    b.window = box;
    b.caption = window_text(box);
    std::vector<HWND> children;
    EnumChildWindows(box, collect_child, reinterpret_cast<LPARAM>(&children));
    for (HWND c : children) {
        if (!IsWindowVisible(c))
            continue;
        std::string cls = class_name(c);
        LONG style = GetWindowLongA(c, GWL_STYLE);
        int id = GetDlgCtrlID(c);
        if (cls == "Button") {
            b.buttons.push_back(id);
            if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                b.default_button = id;
        } else if (cls == "Static") {
            if (id == 0xFFFF)
                b.text = window_text(c);
            else if ((style & SS_TYPEMASK) == SS_ICON && sends(c, STM_GETICON) != 0)
                b.shows_icon = true;
        }
    }
    std::sort(b.buttons.begin(), b.buttons.end());
    return b;
}

std::optional<Box> Editor::find_box() const {
    if (!info_.hProcess)
        return std::nullopt;
    Search s{info_.dwProcessId, dialog_, nullptr, "#32770", nullptr};
    EnumWindows(find_top_level, reinterpret_cast<LPARAM>(&s));
    if (!s.found)
        return std::nullopt;
    return read_box(s.found);
}

std::optional<Box> Editor::wait_box(DWORD timeout_ms) const {
    std::optional<Box> box;
    poll_until(
        [&] {
            box = find_box();
            return box.has_value() || WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0;
        },
        timeout_ms);
    if (box) {
        // The box is shown before its texts are set; read it once it is idle.
        WaitForInputIdle(info_.hProcess, scaled(2000));
        box = read_box(box->window);
    }
    return box;
}

::testing::AssertionResult Editor::answer(const Box& box, int button) const {
    HWND control = GetDlgItem(box.window, button);
    if (!control)
        return ::testing::AssertionFailure()
               << "the box \"" << escaped(box.caption) << "\" has no button " << button;
    PostMessageA(control, BM_CLICK, 0, 0);
    // Gone, not just hidden: then the call that showed it has returned.
    if (!poll_until([&] { return !IsWindow(box.window); }, kBoxTimeoutMs))
        return ::testing::AssertionFailure()
               << "the box \"" << escaped(box.caption) << "\" did not close on button " << button;
    WaitForInputIdle(info_.hProcess, scaled(2000));
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Editor::exits_with(DWORD code, DWORD timeout_ms) {
    if (!info_.hProcess)
        return ::testing::AssertionFailure() << "the editor was not started";
    if (WaitForSingleObject(info_.hProcess, scaled(timeout_ms)) != WAIT_OBJECT_0) {
        auto failure = ::testing::AssertionFailure()
                       << "the editor did not end within " << scaled(timeout_ms) << " ms";
        if (std::optional<Box> box = find_box())
            failure << "; a message box is open: \"" << escaped(box->caption) << "\": \""
                    << escaped(box->text) << "\"";
        return failure;
    }
    DWORD actual = 0;
    GetExitCodeProcess(info_.hProcess, &actual);
    if (actual != code)
        return ::testing::AssertionFailure() << "exit code " << static_cast<int>(actual)
                                             << ", expected " << static_cast<int>(code);
    return ::testing::AssertionSuccess();
}

bool Editor::still_open() const {
    return running() && IsWindow(dialog_) && IsWindowVisible(dialog_);
}

bool Editor::running() const {
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0;
}

bool Editor::shows_dialog() const {
    Search s{info_.dwProcessId, nullptr, "MABIRU - setup", "#32770", nullptr};
    EnumWindows(find_top_level, reinterpret_cast<LPARAM>(&s));
    return s.found != nullptr;
}

Ending Editor::kill(DWORD* exit_code) {
    if (!info_.hProcess) {
        ADD_FAILURE() << "the editor was not started";
        return Ending::still_running;
    }
    Ending ending = Ending::ended_by_itself;
    if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
        // It may still end by itself between the look and the kill; the exit
        // code tells which happened.
        TerminateProcess(info_.hProcess, kKilledExitCode);
        ending = Ending::killed;
    }
    if (WaitForSingleObject(info_.hProcess, scaled(10000)) != WAIT_OBJECT_0)
        return Ending::still_running;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    if (ending == Ending::killed && code != kKilledExitCode)
        ending = Ending::ended_by_itself;
    if (exit_code)
        *exit_code = code;
    return ending;
}

} // namespace e2e
