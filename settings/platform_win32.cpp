// The storage layer's system calls on Windows, through the ANSI interfaces.
#include "settings/platform.h"

#include <windows.h>
#include <winioctl.h>

#include "settings/mbtext.h"

#include <algorithm>
#include <cstddef>

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

// \\?\C:\x as C:\x and \\?\UNC\server\x as \\server\x.
std::string without_long_prefix(std::string path) {
    if (path.compare(0, 8, "\\\\?\\UNC\\") == 0)
        return path.erase(2, 6);
    if (path.compare(0, 4, "\\\\?\\") == 0)
        return path.erase(0, 4);
    return path;
}

// A handle to ask the system about the file (or folder) that `path` leads
// to. No access is asked, so a file held without sharing still answers.
HANDLE open_to_ask(const std::string& path) {
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// 100 ns ticks since 1601-01-01 as seconds since 1970-01-01; signed, for a
// file dated before 1970.
long long seconds_of(const FILETIME& time) {
    const long long ticks = static_cast<long long>(
        (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return ticks / 10000000 - 11644473600LL;
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

Attributes attributes_of(const std::string& path) {
    Attributes attributes;
    const DWORD bits = GetFileAttributesA(path.c_str());
    if (bits == INVALID_FILE_ATTRIBUTES)
        return attributes;
    attributes.exists = true;
    attributes.read_only = (bits & FILE_ATTRIBUTE_READONLY) != 0;
    attributes.folder = (bits & FILE_ATTRIBUTE_DIRECTORY) != 0;
    attributes.link = (bits & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    attributes.kept = bits & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    return attributes;
}

Identity identity_of(const std::string& path) {
    Identity identity;
    const HANDLE handle = open_to_ask(path);
    if (handle == INVALID_HANDLE_VALUE)
        return identity;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info)) {
        identity.known = true;
        identity.volume = info.dwVolumeSerialNumber;
        identity.index =
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        identity.names = info.nNumberOfLinks;
        identity.read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        identity.written_s = seconds_of(info.ftLastWriteTime);
    }
    CloseHandle(handle);
    return identity;
}

std::string final_path_of(const std::string& path) {
    // The call came with Windows Vista, and so did symbolic links to files.
    using FinalPath = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    const auto final_path = reinterpret_cast<FinalPath>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    if (!final_path)
        return "";
    const HANDLE handle = open_to_ask(path);
    if (handle == INVALID_HANDLE_VALUE)
        return "";
    char buffer[MAX_PATH + 8];
    const DWORD n =
        final_path(handle, buffer, sizeof buffer, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    return n > 0 && n < sizeof buffer ? without_long_prefix(std::string(buffer, n)) : "";
}

std::string link_target(const std::string& path) {
    const HANDLE link = CreateFileA(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (link == INVALID_HANDLE_VALUE)
        return "";
    // A symbolic link's reparse data, as the system lays it out.
    struct SymbolicLink {
        DWORD tag;
        WORD data_length, reserved;
        WORD substitute_offset, substitute_length, print_offset, print_length;
        ULONG flags;
        WCHAR names[1];
    };
    static_assert(offsetof(SymbolicLink, names) == 20, "the system's layout");
    union {
        SymbolicLink link;
        BYTE bytes[16 * 1024];
    } data;
    DWORD got = 0;
    const BOOL ok = DeviceIoControl(link, FSCTL_GET_REPARSE_POINT, nullptr, 0, &data, sizeof data,
                                    &got, nullptr);
    CloseHandle(link);
    const SymbolicLink& reparse = data.link;
    const std::size_t end =
        offsetof(SymbolicLink, names) + reparse.print_offset + reparse.print_length;
    if (!ok || got < offsetof(SymbolicLink, names) || reparse.tag != IO_REPARSE_TAG_SYMLINK ||
        end > got || reparse.print_length == 0)
        return "";
    const WCHAR* const name = reparse.names + reparse.print_offset / sizeof(WCHAR);
    const int length = static_cast<int>(reparse.print_length / sizeof(WCHAR));
    char spelled[MAX_PATH];
    BOOL unspellable = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, length, spelled,
                                      sizeof spelled, nullptr, &unspellable);
    if (n <= 0 || unspellable)
        return "";
    const std::string to(spelled, static_cast<std::size_t>(n));
    // SYMLINK_FLAG_RELATIVE: the link's own folder is where it starts.
    return (reparse.flags & 1) != 0 ? folder_part(path) + to : to;
}

Result create_new(const std::string& path, std::uint32_t kept, File& file) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      kept ? kept : FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool touch(File& file) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return SetFileTime(handle_of(file), nullptr, nullptr, &now) != 0;
}

Result free_to_replace(const std::string& path) {
    const HANDLE probe =
        CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return result_of(GetLastError());
    CloseHandle(probe);
    return Result::ok;
}

// Wine replaces a file by moving the old one away, deleting it and only
// then moving the new one in: a crash between the two leaves no settings
// file. Its plain move is one rename, and Wine keeps no security or streams
// that the system's replace would carry over.
bool has_keeping_replace() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr;
}

Replaced replace_file(const std::string& replacement, const std::string& replaced,
                      const std::string& backup) {
    // Windows XP refuses the flag that lets a replace go on without the ACL.
    const bool vista_or_later = LOBYTE(LOWORD(GetVersion())) >= 6;
    const DWORD flags =
        REPLACEFILE_IGNORE_MERGE_ERRORS | (vista_or_later ? REPLACEFILE_IGNORE_ACL_ERRORS : 0);
    if (ReplaceFileA(replaced.c_str(), replacement.c_str(), backup.c_str(), flags, nullptr,
                     nullptr))
        return Replaced::done;
    switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return Replaced::busy;
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
        return Replaced::old_at_backup;
    default:
        // ERROR_UNABLE_TO_REMOVE_REPLACED, ERROR_UNABLE_TO_MOVE_REPLACEMENT
        // with a backup name, and every other answer.
        return Replaced::both_kept;
    }
}

Result move_file(const std::string& from, const std::string& to, bool replace) {
    if (MoveFileExA(from.c_str(), to.c_str(),
                    (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH))
        return Result::ok;
    // A reader that holds the target open makes the move fail as denied.
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED ? Result::busy : result_of(error);
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

bool set_size(File& file, std::uint64_t size) {
    return seek_to(handle_of(file), size) && SetEndOfFile(handle_of(file)) != 0;
}

bool write_at(File& file, std::uint64_t offset, const char* data, std::size_t n) {
    return seek_to(handle_of(file), offset) && write(file, data, n);
}

void sync_folder(const std::string& folder) {
    // Windows documents no call that makes a rename on one volume durable
    // (MOVEFILE_WRITE_THROUGH is documented for a move made as a copy, and
    // a volume can be flushed only by an administrator). The folder's own
    // handle is what it offers: NTFS writes its log in order, and flushing
    // that handle may take the renames before it to the disk.
    const HANDLE handle = CreateFileA(folder.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        FlushFileBuffers(handle);
        CloseHandle(handle);
    }
}

bool remove(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::vector<FileEntry> files_in(const std::string& folder) {
    std::vector<FileEntry> files;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files.push_back({found.cFileName, seconds_of(found.ftLastWriteTime)});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

long long seconds_now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return seconds_of(now);
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
