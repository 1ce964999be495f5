#include "settings/settings_file.h"

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "settings/mbtext.h"
#include "settings/temp_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef MABIRU_TEST_SEAMS
std::size_t settings_read_chunk = std::size_t(1) << 20;
#else
static const std::size_t settings_read_chunk = std::size_t(1) << 20;
#endif

namespace {

// Thin file layer: large blocks straight through the system calls, in binary;
// the text-mode rules of the format are applied by hand below.
#ifdef _WIN32
using Handle = HANDLE;
const Handle no_handle = INVALID_HANDLE_VALUE;

Handle open_for_reading(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Bytes read, 0 at the end of the file, -1 on an error.
long read_some(Handle h, char* buffer, std::size_t n) {
    DWORD got = 0;
    if (!ReadFile(h, buffer, static_cast<DWORD>(n), &got, nullptr))
        return -1;
    return static_cast<long>(got);
}

bool close_handle(Handle h) {
    return CloseHandle(h) != 0;
}

// The file's size, or 0 when it cannot be told.
std::size_t size_hint(Handle h) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size) || size.QuadPart < 0)
        return 0;
    return static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX
               ? SIZE_MAX
               : static_cast<std::size_t>(size.QuadPart);
}
#else
using Handle = int;
const Handle no_handle = -1;

Handle open_for_reading(const std::string& path) {
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
        ::close(fd);
        return no_handle;
    }
    return fd;
}

long read_some(Handle fd, char* buffer, std::size_t n) {
    ssize_t got;
    do
        got = ::read(fd, buffer, n);
    while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

bool close_handle(Handle fd) {
    return ::close(fd) == 0;
}

std::size_t size_hint(Handle fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return 0;
    return static_cast<std::size_t>(st.st_size);
}
#endif

// Reads the file block by block and hands each line to the map. A line that
// lies whole in the block is parsed where it lies. A line that runs past the
// block is gathered in `pending_`; once it is longer than a block, the rest
// of it is read straight into `pending_`, which then becomes the value: a
// list of many megabytes is copied once, by the read itself.
class Loader {
  public:
    Loader(SettingsMap& map, const std::string& separator, Handle h, char* block,
           std::size_t block_size, std::size_t file_size)
        : map_(map), separator_(separator), h_(h), block_(block), block_size_(block_size),
          file_size_(file_size) {}

    void run() {
        while (!eof_) {
            if (pending_.size() >= block_size_ && !cut_ && consumed_ < file_size_) {
                if (!read_into_pending())
                    break;
                continue;
            }
            // A read error ends the file like its end does.
            long got = read_some(h_, block_, block_size_);
            if (got <= 0)
                break;
            consumed_ += static_cast<std::size_t>(got);
            feed(block_, clip(block_, static_cast<std::size_t>(got)));
        }
        // The last line needs no LF; a CR at its end stays.
        if (!pending_.empty())
            take_pending();
    }

  private:
    // 0x1A ends the file, as text mode has always read it.
    char* clip(char* data, std::size_t n) {
        char* stop = static_cast<char*>(std::memchr(data, 0x1A, n));
        if (stop == nullptr)
            return data + n;
        eof_ = true;
        return stop;
    }

    // `data` to `end` is in the block; it is changed in place.
    void feed(char* data, char* end) {
        for (char* p = data; p < end;) {
            char* lf = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (lf == nullptr) {
                keep(p, end);
                return;
            }
            if (pending_.empty() && !cut_) {
                // CR LF reads as a line end; the zero also ends the text.
                char* stop = (lf > p && lf[-1] == '\r') ? lf - 1 : lf;
                *stop = '\0';
                fields_.clear();
                if (split_fields(p, separator_.c_str(), fields_, 2) == 2)
                    map_.insert_or_assign(std::move(fields_[0]), std::move(fields_[1]));
            } else {
                keep(p, lf);
                end_pending_line();
            }
            p = lf + 1;
        }
    }

    // Bytes after a zero byte are dropped as they come, so a long line of
    // rubbish behind a zero costs no memory.
    void keep(const char* p, const char* end) {
        if (cut_)
            return;
        const char* zero =
            static_cast<const char*>(std::memchr(p, 0, static_cast<std::size_t>(end - p)));
        if (zero != nullptr) {
            end = zero;
            cut_ = true;
        }
        pending_.append(p, end);
    }

    bool read_into_pending() {
        const std::size_t old = pending_.size();
        const std::size_t n = std::min(block_size_, file_size_ - consumed_);
        if (pending_.capacity() - old < n) {
            // Room for the rest of the file at once, as far as is sensible;
            // pages are only taken as the read fills them.
            const std::size_t rest = file_size_ - consumed_;
            pending_.reserve(rest <= (std::size_t(256) << 20) ? old + rest
                                                              : std::max(old + n, 2 * old));
        }
        pending_.resize(old + n);
        long got = read_some(h_, &pending_[old], n);
        if (got <= 0) {
            pending_.resize(old);
            return false;
        }
        consumed_ += static_cast<std::size_t>(got);
        char* data = &pending_[old];
        char* end = clip(data, static_cast<std::size_t>(got));
        char* lf =
            static_cast<char*>(std::memchr(data, '\n', static_cast<std::size_t>(end - data)));
        char* text_end = lf ? lf : end;
        char* zero =
            static_cast<char*>(std::memchr(data, 0, static_cast<std::size_t>(text_end - data)));
        if (zero != nullptr)
            cut_ = true;
        const std::size_t line_size =
            static_cast<std::size_t>((zero ? zero : text_end) - &pending_[0]);
        if (lf == nullptr) {
            pending_.resize(line_size);
            return true;
        }
        // What follows the LF belongs to the next lines: back to the block.
        const std::size_t tail = static_cast<std::size_t>(end - (lf + 1));
        std::memcpy(block_, lf + 1, tail);
        pending_.resize(line_size);
        end_pending_line();
        feed(block_, block_ + tail);
        return true;
    }

    void end_pending_line() {
        // A CR kept before a zero byte is not the one before the LF: the zero
        // had already ended the text.
        if (!cut_ && !pending_.empty() && pending_.back() == '\r')
            pending_.pop_back();
        take_pending();
    }

    void take_pending() {
        EntrySplit at;
        if (separator_.c_str()[0] == '\0') {
            fields_.clear();
            if (split_fields(pending_.c_str(), "", fields_, 2) == 2)
                map_.insert_or_assign(std::move(fields_[0]), std::move(fields_[1]));
        } else if (split_entry(pending_.data(), pending_.size(), separator_.c_str(), at) == 2) {
            std::string key(pending_, at.key_begin, at.key_end - at.key_begin);
            if (pending_.size() - at.value_begin >= pending_.capacity() / 4) {
                // The value takes the buffer it was read into.
                pending_.erase(0, at.value_begin);
                map_.insert_or_assign(std::move(key), std::move(pending_));
                pending_ = std::string();
            } else {
                map_.insert_or_assign(std::move(key), pending_.substr(at.value_begin));
            }
        }
        pending_.clear();
        cut_ = false;
    }

    SettingsMap& map_;
    const std::string& separator_;
    const Handle h_;
    char* const block_;
    const std::size_t block_size_;
    const std::size_t file_size_; // as the file system told it; 0 if unknown
    std::size_t consumed_ = 0;
    bool eof_ = false;
    std::string pending_;
    bool cut_ = false;
    std::vector<std::string> fields_;
};

} // namespace

bool load_settings(SettingsMap& map, const std::string& path, const std::string& separator) {
    Handle h = open_for_reading(path);
    if (h == no_handle)
        return false;
    // A smaller block when memory is short.
    std::size_t block = settings_read_chunk;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[block]);
    while (!buffer && block > 4096) {
        block /= 2;
        buffer.reset(new (std::nothrow) char[block]);
    }
    if (buffer) {
        Loader(map, separator, h, buffer.get(), block, size_hint(h)).run();
    }
    close_handle(h);
    return buffer != nullptr;
}

// ---------------------------------------------------------------------------
// Saving: the new content goes to a temporary file beside the settings file,
// reaches the disk, and only then replaces the settings file in one step. A
// crash or a full disk at any point leaves either the old or the new file.

namespace {

#ifdef MABIRU_TEST_SEAMS
SaveStep injected_step = SaveStep::none;
std::size_t injected_after = 0;

SaveStep take_injected_failure() {
    SaveStep step = injected_step;
    injected_step = SaveStep::none;
    return step;
}
#else
enum class SaveStep { none, open, write, flush, close, replace };

constexpr SaveStep take_injected_failure() {
    return SaveStep::none;
}
#endif

// Whether the settings file, if it exists, may be replaced. Checked from its
// attributes because an administrator's (or root's) open and rename succeed
// on a read-only file.
bool target_replaceable(const std::string& path) {
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return true;
    if (S_ISDIR(st.st_mode) || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return false;
    return ::access(path.c_str(), W_OK) == 0;
#endif
}

#ifdef _WIN32
// The new file stays hidden or system if the one it replaces was.
DWORD kept_attributes(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FILE_ATTRIBUTE_NORMAL;
    attributes &= FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}
#endif

class TempFile {
  public:
    ~TempFile() { discard(); }

    // Creates a file of a new name beside `path`, never opening one that
    // exists: another save may be writing its own.
    bool create(const std::string& path) {
        static unsigned long counter = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
#ifdef _WIN32
            name_ = temp_name(path, GetCurrentProcessId(), counter++);
            h_ = CreateFileA(name_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             kept_attributes(path), nullptr);
            if (h_ != no_handle)
                return true;
            DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                break;
#else
            name_ = temp_name(path, static_cast<unsigned long>(::getpid()), counter++);
            do
                h_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            while (h_ < 0 && errno == EINTR);
            if (h_ >= 0) {
                // The new file keeps the permissions of the one it replaces.
                struct stat st;
                if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                    ::fchmod(h_, st.st_mode & 07777);
                return true;
            }
            if (errno != EEXIST)
                break;
#endif
        }
        name_.clear();
        return false;
    }

    bool write(const char* data, std::size_t n) {
        std::size_t allowed = n;
#ifdef MABIRU_TEST_SEAMS
        bool fail = false;
        if (limit_ != no_limit && written_ + n > limit_) {
            allowed = limit_ - written_;
            fail = true;
        }
#endif
        std::size_t done = 0;
        while (done < allowed) {
#ifdef _WIN32
            DWORD part =
                static_cast<DWORD>(allowed - done > (1u << 30) ? (1u << 30) : allowed - done);
            DWORD put = 0;
            if (!WriteFile(h_, data + done, part, &put, nullptr) || put == 0)
                return false;
#else
            ssize_t put = ::write(h_, data + done, allowed - done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
#endif
            done += static_cast<std::size_t>(put);
        }
        written_ += done;
#ifdef MABIRU_TEST_SEAMS
        if (fail)
            return false;
#endif
        return true;
    }

    bool sync() {
#ifdef _WIN32
        return FlushFileBuffers(h_) != 0;
#else
        int rc;
        do
            rc = ::fsync(h_);
        while (rc != 0 && errno == EINTR);
        return rc == 0;
#endif
    }

    bool close() {
        Handle h = h_;
        h_ = no_handle;
        return close_handle(h);
    }

    // Puts the file in place of `path`. Afterwards there is nothing to discard.
    bool replace(const std::string& path) {
#ifdef _WIN32
        // A reader (the publishing tool, or another editor just done with
        // its own save) may hold the file for a moment: try a few times
        // before reporting the failure.
        bool ok = false;
        for (int attempt = 0; attempt < 10 && !ok; ++attempt) {
            if (attempt > 0)
                Sleep(50);
            ok = MoveFileExA(name_.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
            if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
                break;
        }
#else
        bool ok = ::rename(name_.c_str(), path.c_str()) == 0;
#endif
        if (ok)
            name_.clear();
        return ok;
    }

    void discard() {
        if (h_ != no_handle)
            close();
        if (!name_.empty()) {
#ifdef _WIN32
            DeleteFileA(name_.c_str());
#else
            ::unlink(name_.c_str());
#endif
            name_.clear();
        }
    }

#ifdef MABIRU_TEST_SEAMS
    static constexpr std::size_t no_limit = static_cast<std::size_t>(-1);
    std::size_t limit_ = no_limit;
#endif

  private:
    std::string name_;
    Handle h_ = no_handle;
    std::size_t written_ = 0;
};

// Gathers small pieces into large writes; pieces as large as the buffer go
// straight through.
class Output {
  public:
    explicit Output(TempFile& file) : file_(file) { buffer_.reserve(capacity); }

    // Up to the first zero byte, as the text ends there.
    void put(const std::string& s) { put(s.data(), std::strlen(s.c_str())); }

    void put(const char* data, std::size_t n) {
        if (!ok_)
            return;
        if (buffer_.size() + n > capacity && !drain())
            return;
        if (n >= capacity)
            ok_ = file_.write(data, n);
        else
            buffer_.append(data, n);
    }

    bool finish() { return drain() && ok_; }

  private:
    static constexpr std::size_t capacity = std::size_t(1) << 20;

    bool drain() {
        if (ok_ && !buffer_.empty())
            ok_ = file_.write(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok_;
    }

    TempFile& file_;
    std::string buffer_;
    bool ok_ = true;
};

bool holds_line_feed(const std::string& s) {
    return s.find('\n') != std::string::npos;
}

#ifdef MABIRU_TEST_SEAMS
// End-to-end tests stop the editor inside this window.
void test_delay() {
#ifdef _WIN32
    char text[32];
    DWORD n = GetEnvironmentVariableA(MABIRU_SAVE_DELAY_ENV, text, sizeof text);
    if (n == 0 || n >= sizeof text)
        return;
#else
    const char* text = std::getenv(MABIRU_SAVE_DELAY_ENV);
    if (text == nullptr)
        return;
#endif
    unsigned long ms = std::strtoul(text, nullptr, 10);
    if (ms == 0)
        return;
#ifdef _WIN32
    Sleep(static_cast<DWORD>(ms));
#else
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(ms / 1000);
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
#endif
}
#endif

// Makes the rename itself durable. Best effort: the new file is already in
// place, and some file systems cannot sync a folder.
void sync_folder(const std::string& path) {
#ifndef _WIN32
    std::string::size_type slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    (void)path;
#endif
}

} // namespace

#ifdef MABIRU_TEST_SEAMS
void inject_save_failure(SaveStep step, std::size_t after_bytes) {
    injected_step = step;
    injected_after = after_bytes;
}
#endif

bool save_settings(const SettingsMap& map, const std::string& path, const std::string& separator) {
    const SaveStep fail = take_injected_failure();

    // An LF would end the line early and tear the entry in two on reading.
    if (holds_line_feed(separator))
        return false;
    for (const auto& entry : map)
        if (holds_line_feed(entry.first) || holds_line_feed(entry.second))
            return false;
    if (!target_replaceable(path))
        return false;

    TempFile file;
    if (fail == SaveStep::open || !file.create(path))
        return false;
#ifdef MABIRU_TEST_SEAMS
    if (fail == SaveStep::write)
        file.limit_ = injected_after;
#endif

    Output out(file);
    for (const auto& entry : map) {
        out.put(entry.first);
        out.put(separator);
        out.put(entry.second);
        out.put("\r\n", 2);
    }
    if (!out.finish())
        return false;
    if (fail == SaveStep::flush || !file.sync())
        return false;
    if (!file.close() || fail == SaveStep::close)
        return false;
#ifdef MABIRU_TEST_SEAMS
    test_delay();
#endif
    if (fail == SaveStep::replace || !file.replace(path))
        return false;
    sync_folder(path);
    remove_stale_temps(path);
    return true;
}
