// The save's own files beside the settings file. Each carries a name of
// temp_name()'s making, so that what a cut-off save left is known for the
// editor's own, what it holds is told by the name alone, and its age is
// told by the name too: a rename keeps a file's last-write time, so that
// time says nothing of when a save left the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/platform.h"

// What a name of the editor's own says of the file.
enum class TempKind {
    none,        // not the editor's: never touched
    earlier,     // left by an earlier version: what it holds is not known
    writing,     // being written, or a part of it: never a whole copy
    replacement, // the new content, whole on the disk, waiting to take the
                 // settings file's place
    beside,      // a whole copy of the new content while the settings file
                 // is written over
    backup,      // the old settings file, moved aside while the system's
                 // replace puts the new one in
};

// "~m", a letter for the kind ('w', 'k', 'i', 'o'), five letters or digits
// that tell the second at which the name was taken, and two that check the
// six: 10 bytes, no longer than "mabiru.dat", so that a settings path that
// fits the system's limit gives a temporary path that fits too. Any one
// character changed fails the check.
std::string temp_name(TempKind kind, long long time_s);
TempKind temp_kind(const std::string& name);
// The seconds since the name was taken, negative for a time ahead of
// `now_s`. The names' clock runs modulo 36^5 seconds (about 700 days): a
// name taken more than half of that ago reads as ahead.
long long temp_age_s(const std::string& name, long long now_s);
// The same name with another kind.
std::string with_kind(const std::string& path, TempKind kind);

// A file of the save's own, removed when its owner goes, unless the owner
// was told that it keeps something or that it has taken another name.
class TempFile {
  public:
    TempFile() = default;
    ~TempFile() { remove(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates a new file of `kind` in `folder` (with its trailing
    // separator), open for writing, never over a file that is there
    // already, with the attributes or permissions `kept`.
    bool create(const std::string& folder, TempKind kind, std::uint32_t kept);
    // Takes the same name of another kind, never over a file that holds it;
    // false, the name as it was, when it cannot.
    bool rename(TempKind kind);
    // False when the system reports that the file may not be complete.
    bool close() { return file_.close(); }
    // It holds the only whole copy of something: it stays under its name.
    void keep() { path_.clear(); }
    // It has taken the settings file's name: nothing of it is left to remove.
    void moved() { path_.clear(); }
    void remove();

    bool owns() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    sys::File& file() { return file_; }

  private:
    std::string path_;
    sys::File file_;
};

// A save takes seconds; a file that a save named this long ago belongs to
// no save that is still running, on this machine or another.
constexpr long long stale_temp_age_s = 10 * 60;

// A write over the settings file is done within this long of the copy it
// left beside it, and file systems date files to within this much of each
// other (FAT to two seconds): a file last written outside that was written
// by someone else since the copy was made.
constexpr long long beside_copy_window_s = 60;
constexpr long long file_time_slack_s = 2;

// Deletes what earlier saves left in `folder` (with its trailing
// separator) once they have been named for stale_temp_age_s: files of the
// kinds writing, replacement, beside and backup. Windows also refuses to
// delete one that a save still holds open without sharing. Files of an
// earlier version, and everything else, are not touched.
void remove_stale_temps(const std::string& folder);

// A file of the editor's own that may hold whole settings.
struct Copy {
    std::string path;
    TempKind kind;
    long long written_s; // its content's last write, by the file system's clock
};
// The files of the kinds replacement, beside and backup in each of
// `folders`, newest content first.
std::vector<Copy> copies_in(const std::vector<std::string>& folders);
