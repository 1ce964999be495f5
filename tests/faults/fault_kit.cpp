#include "fault_kit.h"

#include "control_ids.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace faults {

std::unique_ptr<e2e::Editor> start_editor(const std::string& exe, DWORD save_delay_ms) {
    // The child takes this process's environment as it is at its start.
    if (save_delay_ms > 0)
        SetEnvironmentVariableA(kSaveDelayVariable, std::to_string(save_delay_ms).c_str());
    else
        SetEnvironmentVariableA(kSaveDelayVariable, nullptr);
    auto editor = std::make_unique<e2e::Editor>(exe);
    SetEnvironmentVariableA(kSaveDelayVariable, nullptr);
    return editor;
}

Ending kill(const e2e::Editor& editor, DWORD* exit_code) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE,
                                 editor.process_id());
    if (!process) {
        ADD_FAILURE() << "cannot open the editor's process (error " << GetLastError() << ")";
        return Ending::still_running;
    }
    Ending ending = Ending::ended_by_itself;
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
        // It may still end by itself between the look and the kill; the exit
        // code tells which happened.
        TerminateProcess(process, 137);
        ending = Ending::killed;
    }
    if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) {
        CloseHandle(process);
        return Ending::still_running;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (ending == Ending::killed && code != 137)
        ending = Ending::ended_by_itself;
    if (exit_code)
        *exit_code = code;
    return ending;
}

bool is_temporary_of(const std::string& name, const std::string& settings_name) {
    const std::string head = settings_name + ".~";
    const std::string tail = ".tmp";
    if (name.size() <= head.size() + tail.size() || name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string middle = name.substr(head.size(), name.size() - head.size() - tail.size());
    const std::size_t dot = middle.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == middle.size())
        return false;
    for (std::size_t i = 0; i < middle.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(middle[i]);
        if (i == dot)
            continue;
        if (i < dot ? !std::isxdigit(c) : !std::isdigit(c))
            return false;
    }
    return true;
}

std::vector<std::string> temporaries(const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const std::string& name : names)
        if (is_temporary_of(name))
            out.push_back(name);
    return out;
}

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
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    Bytes bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
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
        ADD_FAILURE() << "cannot hold " << e2e::escaped(path) << " open (error " << GetLastError()
                      << ")";
}

HeldFile::~HeldFile() {
    release();
}

Bytes HeldFile::bytes() const {
    Bytes out;
    if (!is_open())
        return out;
    SetFilePointer(handle_, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(handle_, buffer, sizeof buffer, &got, nullptr) && got > 0)
        out.append(buffer, got);
    return out;
}

void HeldFile::release() {
    if (is_open())
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
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
           << e2e::escaped(actual.substr(from, 64)) << "\n  expected ..."
           << e2e::escaped(expected.substr(from, 64));
}

::testing::AssertionResult is_save_error(const e2e::Box& box, const std::string& folder) {
    // The path keeps the doubled backslash before the file name.
    const Bytes text = folder + "\\mabiru.dat\n\n設定ファイルが保存できませんでした。";
    if (box.caption != "error" || box.text != text || box.buttons != std::vector<int>{IDOK})
        return ::testing::AssertionFailure()
               << "a box \"" << e2e::escaped(box.caption) << "\" saying \""
               << e2e::escaped(box.text) << "\" instead of the save error \"" << e2e::escaped(text)
               << "\"";
    return ::testing::AssertionSuccess();
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
