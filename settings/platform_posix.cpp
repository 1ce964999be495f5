// The storage layer's system calls on POSIX systems, where the unit tests,
// the fuzzers and the benchmark run.
#include "settings/platform.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sys {
namespace {

int fd_of(const File& file) {
    return static_cast<int>(file.handle());
}

Result result_of(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        return Result::not_found;
    case EEXIST:
        return Result::exists;
    default:
        return Result::failed;
    }
}

int open_retrying(const std::string& path, int flags, mode_t mode = 0) {
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

bool File::close() {
    if (!is_open())
        return true;
    const int fd = fd_of(*this);
    handle_ = invalid;
    return ::close(fd) == 0;
}

Result open_for_reading(const std::string& path, File& file, std::size_t& size) {
    const int fd = open_retrying(path, O_RDONLY);
    if (fd < 0)
        return result_of(errno);
    file = File(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))
        return Result::failed;
    size = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
    return Result::ok;
}

Result read(File& file, char* buffer, std::size_t n, std::size_t& got) {
    ssize_t count;
    do
        count = ::read(fd_of(file), buffer, n);
    while (count < 0 && errno == EINTR);
    got = count > 0 ? static_cast<std::size_t>(count) : 0;
    return count < 0 ? Result::failed : Result::ok;
}

// No write permission for anyone, or none for this process: root may
// write what nobody is meant to.
bool read_only(const std::string& path, const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

Attributes attributes_of(const std::string& path) {
    Attributes attributes;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return attributes;
    attributes.exists = true;
    attributes.link = S_ISLNK(st.st_mode);
    // A link's own permissions say nothing; those of the file it leads to do.
    if (attributes.link && ::stat(path.c_str(), &st) != 0)
        return attributes;
    attributes.folder = S_ISDIR(st.st_mode);
    attributes.read_only = read_only(path, st);
    attributes.kept = S_ISREG(st.st_mode) ? static_cast<std::uint32_t>(st.st_mode & 07777) : 0;
    return attributes;
}

Identity identity_of(const std::string& path) {
    Identity identity;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return identity;
    identity.known = true;
    identity.volume = static_cast<std::uint64_t>(st.st_dev);
    identity.index = static_cast<std::uint64_t>(st.st_ino);
    identity.names = static_cast<unsigned>(st.st_nlink);
    identity.read_only = read_only(path, st);
    identity.written_s = static_cast<long long>(st.st_mtime);
    return identity;
}

std::string final_path_of(const std::string& path) {
    char real[PATH_MAX];
    return ::realpath(path.c_str(), real) != nullptr ? real : "";
}

std::string link_target(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target)
        return "";
    const std::string to(target, static_cast<std::size_t>(n));
    if (to[0] == '/')
        return to;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
}

Result create_new(const std::string& path, std::uint32_t kept, File& file) {
    const int fd = open_retrying(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0)
        return result_of(errno);
    file = File(fd);
    // The new file keeps the permissions of the one it replaces.
    if (kept != 0)
        ::fchmod(fd, static_cast<mode_t>(kept));
    return Result::ok;
}

bool write(File& file, const char* data, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
        const ssize_t put = ::write(fd_of(file), data + done, n - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool sync(File& file) {
    int rc;
    do
        rc = ::fsync(fd_of(file));
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool touch(File& file) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    return ::futimens(fd_of(file), times) == 0;
}

Result free_to_replace(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0 ? Result::ok : result_of(errno);
}

// A rename keeps all there is to keep here.
bool has_keeping_replace() {
    return false;
}

Replaced replace_file(const std::string&, const std::string&, const std::string&) {
    return Replaced::both_kept;
}

Result move_file(const std::string& from, const std::string& to, bool replace) {
    if (replace)
        return ::rename(from.c_str(), to.c_str()) == 0 ? Result::ok : result_of(errno);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return Result::ok;
    if (errno != EINVAL && errno != ENOSYS)
        return result_of(errno);
    // A file system that cannot refuse to replace: look first.
    if (::access(to.c_str(), F_OK) == 0)
        return Result::exists;
    return ::rename(from.c_str(), to.c_str()) == 0 ? Result::ok : result_of(errno);
}

Result open_for_overwrite(const std::string& path, File& file) {
    const int fd = open_retrying(path, O_RDWR);
    if (fd < 0)
        return result_of(errno);
    file = File(fd);
    return Result::ok;
}

bool set_size(File& file, std::uint64_t size) {
    // Room is claimed for real, so that a full disk fails here and not in
    // the middle of a write.
    struct stat st;
    if (::fstat(fd_of(file), &st) == 0 && static_cast<std::uint64_t>(st.st_size) < size &&
        ::posix_fallocate(fd_of(file), 0, static_cast<off_t>(size)) != 0)
        return false;
    return ::ftruncate(fd_of(file), static_cast<off_t>(size)) == 0;
}

bool write_at(File& file, std::uint64_t offset, const char* data, std::size_t n) {
    return ::lseek(fd_of(file), static_cast<off_t>(offset), SEEK_SET) ==
               static_cast<off_t>(offset) &&
           write(file, data, n);
}

void sync_folder(const std::string& folder) {
    // A rename is durable only once its folder is; some file systems cannot
    // sync a folder, and the new file is in place either way.
    const int fd = open_retrying(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::vector<FileEntry> files_in(const std::string& folder) {
    std::vector<FileEntry> files;
    DIR* const dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return files;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st;
        if (::stat((folder + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files.push_back({entry->d_name, static_cast<long long>(st.st_mtime)});
    }
    ::closedir(dir);
    return files;
}

long long seconds_now() {
    return static_cast<long long>(::time(nullptr));
}

void sleep_ms(unsigned ms) {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(ms / 1000);
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace sys
