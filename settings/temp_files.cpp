#include "settings/temp_files.h"

#include <cstring>

#include "settings/mbtext.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <dirent.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

const char temp_marker[] = ".~";
const char temp_suffix[] = ".tmp";

// Plain digit formatting: printf would bring its whole floating-point
// machinery into the shipped exe.
void append_number(std::string& out, unsigned long value, unsigned base) {
    char digits[2 * sizeof value + 2];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    while (n > 0)
        out += digits[--n];
}

int digit_value(char c, unsigned base) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Reads digits up to `stop`; false unless there is at least one and nothing else.
bool parse_number(const char*& p, char stop, unsigned base, unsigned long& value) {
    value = 0;
    const char* start = p;
    for (; *p != stop; ++p) {
        const int d = digit_value(*p, base);
        if (d < 0 || p - start > 16)
            return false;
        value = value * base + static_cast<unsigned long>(d);
    }
    return p != start;
}

// The process id in `file_name` when it is one of `base_name`'s temporary files.
bool temp_owner(const char* file_name, const std::string& base_name, unsigned long& process_id) {
    if (std::strncmp(file_name, base_name.c_str(), base_name.size()) != 0)
        return false;
    const char* p = file_name + base_name.size();
    if (std::strncmp(p, temp_marker, sizeof temp_marker - 1) != 0)
        return false;
    p += sizeof temp_marker - 1;
    unsigned long counter;
    return parse_number(p, '.', 16, process_id) && *p++ == '.' &&
           parse_number(p, '.', 10, counter) && std::strcmp(p, temp_suffix) == 0;
}

bool process_running(unsigned long process_id) {
#ifdef _WIN32
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(process_id));
    if (process == nullptr)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
#else
    return ::kill(static_cast<pid_t>(process_id), 0) == 0 || errno != ESRCH;
#endif
}

} // namespace

std::string temp_name(const std::string& path, unsigned long process_id, unsigned long counter) {
    std::string name = path;
    name += temp_marker;
    append_number(name, process_id, 16);
    name += '.';
    append_number(name, counter, 10);
    name += temp_suffix;
    return name;
}

void remove_stale_temps(const std::string& path) {
#ifdef _WIN32
    // The folder ends at the last real backslash, never inside a double-byte
    // character.
    const std::size_t slash = reverse_find(path.c_str(), '\\');
    const std::string folder = slash == no_match ? std::string() : path.substr(0, slash + 1);
    const std::string base_name = path.substr(folder.size());
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((path + temp_marker + "*" + temp_suffix).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        unsigned long owner;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            temp_owner(found.cFileName, base_name, owner) && !process_running(owner))
            DeleteFileA((folder + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
#else
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base_name = path.substr(folder.size());
    DIR* const dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        unsigned long owner;
        if (temp_owner(entry->d_name, base_name, owner) && !process_running(owner))
            ::unlink((folder + entry->d_name).c_str());
    }
    ::closedir(dir);
#endif
}
