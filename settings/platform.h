// The system calls that the storage layer makes, behind one interface:
// platform_win32.cpp and platform_posix.cpp each implement it for their
// system, and the tests put a scriptable fake in their place. Each function
// is one call of the system's, and says exactly what it leaves behind when it
// fails; every decision that follows a failure is the storage code's.
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
// Reads up to `n` bytes from where the last read ended; `got` is 0 at the
// end of the file.
Result read(File& file, char* buffer, std::size_t n, std::size_t& got);

// What the name `path` itself is; a symbolic link is not followed, so its
// own read-only mark counts.
struct Attributes {
    bool exists = false;
    bool read_only = false;
    bool folder = false;
    bool link = false;
    // What a new file takes over from this one: the hidden and system
    // attributes on Windows, the permissions elsewhere.
    std::uint32_t kept = 0;
};
Attributes attributes_of(const std::string& path);

// The file that `path` leads to, past any link. Two paths name the same
// file when both identities are known and equal, and can tell files apart.
struct Identity {
    bool known = false; // false when nothing can be opened there
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    unsigned names = 0; // hard links
    // The file's own read-only mark, whatever link led to it.
    bool read_only = false;
    // Its last write, in seconds since 1970-01-01 by the file system's clock.
    long long written_s = 0;
    // Whether it can tell its file from others: some network and
    // user-space file systems give every file the index 0.
    bool tells_apart() const { return known && index != 0; }
    bool operator==(const Identity& other) const {
        return tells_apart() && other.known && volume == other.volume && index == other.index;
    }
};
Identity identity_of(const std::string& path);

// The path of the file that `path` leads to, as the system spells it; empty
// when it cannot tell (no such call on this system, a path that does not
// fit). It may name another file than `path` (a letter the code page
// cannot spell), so compare identities before using it. Wine follows its
// own links here that it does not show as links.
std::string final_path_of(const std::string& path);

// Where the symbolic link `path` leads, as the link itself says, made a
// whole path; empty when `path` is no symbolic link, or the system cannot
// tell or the code page cannot spell it. It answers for a link whose file
// is gone too.
std::string link_target(const std::string& path);

// Creates `path`, which must not exist yet, for writing, not shared, with
// the attributes or permissions `kept` of another file's Attributes.
Result create_new(const std::string& path, std::uint32_t kept, File& file);
// Writes at the end of what was written so far.
bool write(File& file, const char* data, std::size_t n);
// Waits until the written bytes, and the file's times, are on the disk.
bool sync(File& file);
// Sets the file's last-write time to now.
bool touch(File& file);

// Whether `path` may be replaced now: ok, busy while another program holds
// it without sharing its deletion, not_found when there is no file.
Result free_to_replace(const std::string& path);

// True where the system's own replace keeps more of the replaced file than
// a move does (its security and streams) and is worth its steps.
bool has_keeping_replace();

// What the system's own replace answered, each as its documentation says
// the answer leaves the files.
enum class Replaced {
    done,
    busy,          // another program holds a file: nothing changed
    both_kept,     // the replaced file and the replacement keep their names
                   // (it could not remove the replaced file, could not move
                   // the replacement with a backup name given, or any other
                   // refusal)
    old_at_backup, // the replaced file under the backup name, the
                   // replacement under its own: nothing under `replaced`
};

// The system's own replace: `replacement` takes the place of `replaced`,
// with the replaced file's attributes, security and streams; the replaced
// file goes to `backup`, which must not exist. Only where
// has_keeping_replace().
Replaced replace_file(const std::string& replacement, const std::string& replaced,
                      const std::string& backup);

// Renames `from` to `to` in one step. A file at `to` is replaced, unless
// `replace` is false: then the answer is exists. Busy while another program
// holds `to` open. On a failure nothing moved.
Result move_file(const std::string& from, const std::string& to, bool replace);

// Opens an existing file to write over its bytes, sharing it with readers
// and writers as a plain open would; reads start at its beginning.
Result open_for_overwrite(const std::string& path, File& file);
// Cuts or extends the file to `size` bytes. Refused, the size unchanged,
// while a program maps the part that would be cut away; room that cannot be
// claimed on a full disk may leave it longer, zero-filled.
bool set_size(File& file, std::uint64_t size);
// Writes `n` bytes at `offset`; a failure may leave part of them written.
bool write_at(File& file, std::uint64_t offset, const char* data, std::size_t n);

// Makes the creates, renames and deletes made so far in `folder` durable;
// best effort. Windows documents no call for a rename on one volume: there
// the folder's own handle is flushed, which the file system may honour.
void sync_folder(const std::string& folder);
// False when the file is still there.
bool remove(const std::string& path);

struct FileEntry {
    std::string name;
    // Its last write, in seconds since 1970-01-01 by the file system's clock.
    long long written_s;
};
// The plain files in `folder` ("" for the current one).
std::vector<FileEntry> files_in(const std::string& folder);

// Seconds since 1970-01-01 UTC, by the system's clock.
long long seconds_now();

void sleep_ms(unsigned ms);
// The value of an environment variable; empty when it is not set.
std::string environment(const char* name);

} // namespace sys
