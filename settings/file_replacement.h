// A file replaced whole, never half. The new content goes to a temporary
// file beside the target, reaches the disk, takes a name that says it is
// whole, and only then takes the target's place, so that a failure, a crash
// or a power cut at any moment leaves the old file or the new one under the
// target's name, or, where nothing is there, a whole copy of each under a
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
// let go, a file whose permissions refuse the replace. Before it is written
// over, a whole copy of the new content waits beside it on the disk, where
// the folder takes one.
#pragma once

#include <cstddef>
#include <string>

#include "settings/file_location.h"
#include "settings/temp_files.h"

class FileReplacement {
  public:
    explicit FileReplacement(const std::string& target) : target_(target) {}
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
    // nothing while a whole copy of each waits beside it under a name the
    // next start takes the new one from, or (writing over the file itself
    // after two failures in a row) a mix while a whole copy of the new
    // content waits beside it, where the folder takes one.
    bool commit();

    // Where begin() found the target.
    const FileLocation& location() const { return at_; }

  private:
    // What a step of putting the new file in place came to.
    enum class Put {
        done,     // the new file is in place
        busy,     // another program holds the old one: nothing changed
        refused,  // the old file is in place, the new one beside it
        stranded, // nothing is: both wait beside it under whole names
    };
    friend bool is_busy(Put put) { return put == Put::busy; }
    bool drain();
    Put put_in_place(bool whole);
    Put after(sys::Result step);
    Put recover(TempFile* backup);
    bool take_back_temp();
    bool open_target();
    bool write_in_place(std::string content);
    bool write_over_target(std::string content, TempFile& copy);

    const std::string target_;
    FileLocation at_;
    TempFile temp_;
    sys::Identity new_;     // the temporary file, once whole
    bool in_place_ = false; // buffer_ then gathers the whole content
    sys::File file_;        // the target, to write over it
    std::string buffer_;
    bool ok_ = false; // no write has failed
};
