// The few system calls that the storage layer makes, behind one interface:
// platform_win32.cpp and platform_posix.cpp each implement it for their
// system, so that the storage code itself holds no conditionals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sys {

enum class Result {
    ok,
    not_found, // the file or a folder on its path is not there, or cannot be
               // (a name the system cannot spell, a path over its limit)
    exists,    // a file of that name is there already
    busy,      // another program holds the file for now: worth another try
    failed,    // anything else
};

// An open file, closed when it goes out of scope.
class File {
  public:
    File() = default;
    explicit File(std::intptr_t handle) : handle_(handle) {}
    ~File() { close(); }
    File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = invalid; }
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = other.handle_;
            other.handle_ = invalid;
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool is_open() const { return handle_ != invalid; }
    std::intptr_t handle() const { return handle_; }
    // False when the system reports that the file may not be complete.
    bool close();

    // INVALID_HANDLE_VALUE on Windows, the invalid descriptor elsewhere.
    static constexpr std::intptr_t invalid = -1;

  private:
    std::intptr_t handle_ = invalid;
};

// Opens an existing file for reading; `size` is what the system says of its
// length, 0 when it cannot tell. A folder is not a file to read.
Result open_for_reading(const std::string& path, File& file, std::size_t& size);
// Reads up to `n` bytes; `got` is 0 at the end of the file.
Result read(File& file, char* buffer, std::size_t n, std::size_t& got);

// Whether the file at `path` may be replaced: true when there is none, false
// when it is read-only or a folder. Judged from its attributes, because an
// administrator's (or root's) open and rename succeed on a read-only file.
bool may_replace(const std::string& path);

// Creates `path`, which must not exist yet, for writing. It takes the
// attributes (hidden, system) or permissions of `like` when that exists.
Result create_new(const std::string& path, const std::string& like, File& file);
bool write(File& file, const char* data, std::size_t n);
// Waits until the written bytes are on the disk.
bool sync(File& file);

// What a save needs to know of the file at `path` before it writes.
struct FileFacts {
    // The file itself, where `path` is a symbolic link to it; else `path`.
    std::string real_path;
    // How many names (hard links) the file has; 0 when there is no file.
    unsigned names = 0;
};
FileFacts facts_of(const std::string& path);

// Puts `from` in place of `to` in one step; an existing `to` keeps its
// security and streams where the system can keep them.
Result replace(const std::string& from, const std::string& to);

// Opens an existing file for writing over its bytes, sharing it with
// readers and writers as a plain open would.
Result open_for_overwrite(const std::string& path, File& file);
// Writes `data` over the file from its start and cuts it to that length,
// then waits until it is on the disk. Room for a longer file is claimed
// first, so that a full disk leaves the old bytes as they were.
bool overwrite(File& file, const char* data, std::size_t n);
// Makes a replace in `folder` durable where the system needs that; best effort.
void sync_folder(const std::string& folder);
void remove(const std::string& path);

struct FileEntry {
    std::string name;
    // Seconds since it was last written; negative for a time ahead of the clock.
    long long age_s;
};
// The plain files in `folder` ("" for the current one).
std::vector<FileEntry> files_in(const std::string& folder);

unsigned long process_id();

void sleep_ms(unsigned ms);
// The value of an environment variable; empty when it is not set.
std::string environment(const char* name);

} // namespace sys
