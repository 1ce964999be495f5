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
    // No file can be at a path that the ANSI interfaces cannot spell (a
    // folder named in letters outside the code page reads as '?'), nor at
    // one over the system's limit or malformed.
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME:
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

bool seek_to(HANDLE file, unsigned long long offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

bool set_size(HANDLE file, unsigned long long size) {
    return seek_to(file, size) && SetEndOfFile(file) != 0;
}

// \\?\C:\x as C:\x and \\?\UNC\server\x as \\server\x.
std::string without_long_prefix(std::string path) {
    if (path.compare(0, 8, "\\\\?\\UNC\\") == 0)
        return path.erase(2, 6);
    if (path.compare(0, 4, "\\\\?\\") == 0)
        return path.erase(0, 4);
    return path;
}

// Wine replaces a file by moving the old one away, deleting it and only
// then moving the new one in: a crash between the two leaves no settings
// file. Its plain move is one rename, and Wine keeps no security or streams
// that the system's replace would carry over.
bool replace_moves_old_away() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

Result move_into_place(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Result::ok;
    // A reader that holds the target open makes the move fail as denied.
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED ? Result::busy : result_of(error);
}

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

FileFacts facts_of(const std::string& path) {
    FileFacts facts;
    facts.real_path = path;
    const HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return facts;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info))
        facts.names = info.nNumberOfLinks;
    // The path the handle reached, past every symbolic link. The call came
    // with Windows Vista, and so did symbolic links to files.
    using FinalPath = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    const auto final_path_of = reinterpret_cast<FinalPath>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    char final_path[MAX_PATH + 8];
    const DWORD n = final_path_of ? final_path_of(handle, final_path, sizeof final_path,
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)
                                  : 0;
    if (n > 0 && n < sizeof final_path)
        facts.real_path = without_long_prefix(std::string(final_path, n));
    CloseHandle(handle);
    return facts;
}

// The system's own replace, which keeps the replaced file's attributes,
// security and streams: ok, busy, or failed where the plain move may still
// succeed (no file to replace, a file system that cannot replace, security
// that cannot be carried over).
Result replace_keeping(const std::string& from, const std::string& to) {
    // Asked first, because a refused replace may leave the system's own
    // temporary file behind: is `to` there, and free to be replaced?
    const HANDLE probe =
        CreateFileA(to.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return result_of(GetLastError()) == Result::busy ? Result::busy : Result::failed;
    CloseHandle(probe);
    if (ReplaceFileA(to.c_str(), from.c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                     nullptr))
        return Result::ok;
    return result_of(GetLastError()) == Result::busy ? Result::busy : Result::failed;
}

Result replace(const std::string& from, const std::string& to) {
    if (!replace_moves_old_away()) {
        const Result kept = replace_keeping(from, to);
        if (kept != Result::failed)
            return kept;
    }
    return move_into_place(from, to);
}

Result open_for_overwrite(const std::string& path, File& file) {
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return result_of(GetLastError());
    file = file_of(handle);
    return Result::ok;
}

bool overwrite(File& file, const char* data, std::size_t n) {
    const HANDLE handle = handle_of(file);
    LARGE_INTEGER old_size;
    if (!GetFileSizeEx(handle, &old_size))
        return false;
    const unsigned long long old_bytes = static_cast<unsigned long long>(old_size.QuadPart);
    if (n > old_bytes && !set_size(handle, n)) {
        set_size(handle, old_bytes);
        return false;
    }
    return seek_to(handle, 0) && write(file, data, n) && set_size(handle, n) && sync(file);
}

void sync_folder(const std::string&) {
    // MOVEFILE_WRITE_THROUGH has already made the move durable.
}

void remove(const std::string& path) {
    DeleteFileA(path.c_str());
}

std::vector<FileEntry> files_in(const std::string& folder) {
    std::vector<FileEntry> files;
    FILETIME now_time;
    GetSystemTimeAsFileTime(&now_time);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                      t.dwLowDateTime);
    };
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files.push_back(
                {found.cFileName, (ticks(now_time) - ticks(found.ftLastWriteTime)) / 10000000});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

unsigned long process_id() {
    return GetCurrentProcessId();
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
