// A file replaced whole, never half. The new content goes to a temporary
// file beside the target, reaches the disk, takes a name that says it is
// whole, and only then takes the target's place, so that a failure, a crash
// or a power cut at any moment leaves the old file or the new one under the
// target's name, or, where nothing is there, a whole copy of either under a
// name that the next start knows (load_settings_at_start). Where a step of
// putting it in place fails, the save looks at what the failure left, as
// the system documents each answer, and puts the old or the new file under
// the target's name before it gives up; a file that holds the only whole
// copy of either is never deleted.
//
// What writing over the file kept is kept: a symbolic link stays a link and
// the file it leads to is replaced; on Windows the system's own replace
// keeps the replaced file's security and streams. Where replacing would cost
// more than it saves, the new content is written over the old bytes instead
// (settings/in_place.h): a file with several names (each must see the new
// settings), a link that cannot be followed to its file, a folder that
// takes no new file, a file that another program holds open and will not
// let go, a file whose permissions refuse the replace. While it is written
// over, a whole copy of the new content waits beside it, where the folder
// takes one.
#pragma once

#include <cstddef>
#include <string>

#include "settings/platform.h"

// The steps of a replacement after the checks; test builds can make each
// one fail. `temporary` refuses only the temporary file, so that the save
// writes over the file itself.
enum class SaveStep { none, open, temporary, write, flush, close, replace };

class FileReplacement {
  public:
    // `tidy`: after a successful save, what earlier saves left in the folder
    // may go (remove_stale_temps); false when the start found no settings
    // file, since those files may then hold the only copy of the settings.
    explicit FileReplacement(const std::string& target, bool tidy = true);
    // Takes its own files away, unless one holds the only whole copy of the
    // old or the new content.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Checks that the target may be replaced (not read-only, not a folder)
    // and creates the temporary file beside the file it names, or opens
    // that file to write over it.
    bool begin();
    // Buffered; a failure is kept for commit() to report.
    void write(const char* data, std::size_t n);
    // Puts the content in place of the target. False when the target does
    // not now hold exactly the new content; it then holds the old one, or
    // nothing while a whole copy of either waits beside it under a name the
    // next start takes it from, or (writing over the file itself after two
    // failures in a row) a mix while a whole copy of the new content waits
    // beside it, where the folder takes one.
    bool commit();

  private:
    bool write_through(const char* data, std::size_t n);
    bool drain();
    bool replace_target();
    // What a step of putting the new file in place came to: refused leaves
    // the old file in place and the new one beside it.
    enum class Put { done, busy, refused, failed };
    sys::Result put_in_place();
    bool reserve_backup();
    static sys::Result result_of(Put put);
    Put after(sys::Result step);
    Put recover();
    Put finish();
    bool take_back_temp();
    bool open_target();
    bool overwrite_target(std::string content);
    void write_copy_beside(const std::string& content);
    void discard();

    const std::string target_;
    const bool tidy_;
    std::string real_;     // the file that the target names, past any link
    std::string folder_;   // real_'s
    std::string temp_;     // forgotten once it is in place, or must be kept
    std::string reserved_; // an empty file that keeps backup_'s name ours
    std::string backup_;   // where the system's replace puts the old file
    std::string beside_;   // a whole copy while the file is written over
    sys::Identity old_;    // the file being replaced, if there is one
    sys::Identity new_;    // the temporary file, once written
    bool trusted_ = false; // whether new_ tells the new file from the old
    bool old_at_backup_ = false;
    bool in_place_ = false; // buffer_ then gathers the whole content
    bool keeping_replace_ = false;
    sys::File file_;
    std::string buffer_;
    bool ok_ = false;
    std::size_t written_ = 0;
    SaveStep injected_ = SaveStep::none;
    std::size_t injected_after_ = 0;
};

// The file that `path` names, past any link, as the links themselves say,
// when identities do not say it is another file; `path` itself where a link
// cannot be followed.
std::string resolved_path(const std::string& path, const sys::Identity& identity);

#ifdef MABIRU_TEST_SEAMS
// Test builds only.

// Makes the next replacement fail at `step` as if the system had refused
// it. With SaveStep::write, `after_bytes` bytes reach the temporary file
// first. The next begin() consumes it; SaveStep::none clears it.
void inject_save_failure(SaveStep step, std::size_t after_bytes = 0);

// Environment variable read by commit(): milliseconds to sleep between the
// finished temporary file and putting it in place.
#define MABIRU_SAVE_DELAY_ENV "MABIRU_TEST_SAVE_DELAY_MS"
// Environment variable read by begin(): when set, no temporary file can be
// created, as in a folder that takes no new files.
#define MABIRU_NO_TEMP_ENV "MABIRU_TEST_NO_TEMPORARY"
// Environment variable read by begin(): when set, the system's own replace
// is used where it would not be (under Wine), to test that path.
#define MABIRU_SYSTEM_REPLACE_ENV "MABIRU_TEST_SYSTEM_REPLACE"
#endif
