// The storage layer's system calls on Windows, through the ANSI interfaces.
#include "settings/platform.h"

#include <windows.h>

#include <algorithm>

namespace sys {
namespace {

HANDLE handle_of(const File& file) {
    return reinterpret_cast<HANDLE>(file.handle());
}

File file_of(HANDLE handle) {
    return File(reinterpret_cast<std::intptr_t>(handle));
}

Result result_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return Result::not_found;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return Result::exists;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return Result::busy;
    default:
        return Result::failed;
    }
}

// The largest piece handed to one ReadFile or WriteFile.
constexpr std::size_t max_piece = std::size_t(1) << 30;

} // namespace

bool File::close() {
    if (!is_open())
        return true;
    const HANDLE handle = handle_of(*this);
    handle_ = invalid;
    return CloseHandle(handle) != 0;
}

Result open_for_reading(const std::string& path, File& file, std::size_t& size) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return result_of(GetLastError());
    file = file_of(handle);
    LARGE_INTEGER length;
    size = GetFileSizeEx(handle, &length) && length.QuadPart > 0 &&
                   static_cast<unsigned long long>(length.QuadPart) < max_piece
               ? static_cast<std::size_t>(length.QuadPart)
               : 0;
    return Result::ok;
}

Result read(File& file, char* buffer, std::size_t n, std::size_t& got) {
    DWORD count = 0;
    if (!ReadFile(handle_of(file), buffer, static_cast<DWORD>(std::min(n, max_piece)), &count,
                  nullptr)) {
        got = 0;
        // A range that another program has locked reads as a lock violation.
        return result_of(GetLastError());
    }
    got = count;
    return Result::ok;
}

bool may_replace(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

Result create_new(const std::string& path, const std::string& like, File& file) {
    // The new file stays hidden or system if the one it replaces was.
    DWORD attributes = GetFileAttributesA(like.c_str());
    attributes = attributes == INVALID_FILE_ATTRIBUTES
                     ? 0
                     : attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return result_of(GetLastError());
    file = file_of(handle);
    return Result::ok;
}

bool write(File& file, const char* data, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
        const DWORD piece = static_cast<DWORD>(std::min(n - done, max_piece));
        DWORD put = 0;
        if (!WriteFile(handle_of(file), data + done, piece, &put, nullptr) || put == 0)
            return false;
        done += put;
    }
    return true;
}

bool sync(File& file) {
    return FlushFileBuffers(handle_of(file)) != 0;
}

Result replace(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Result::ok;
    // A reader that holds the target open makes the move fail as denied.
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED ? Result::busy : result_of(error);
}

void sync_folder(const std::string&) {
    // MOVEFILE_WRITE_THROUGH has already made the move durable.
}

void remove(const std::string& path) {
    DeleteFileA(path.c_str());
}

std::vector<std::string> file_names(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.emplace_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

unsigned long process_id() {
    return GetCurrentProcessId();
}

bool process_running(unsigned long id) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (process == nullptr)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

void sleep_ms(unsigned ms) {
    Sleep(ms);
}

std::string environment(const char* name) {
    char value[64];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n == 0 || n >= sizeof value ? std::string() : std::string(value, n);
}

} // namespace sys
