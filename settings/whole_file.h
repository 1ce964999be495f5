// A file read whole or replaced whole, never half of either. Reading waits
// out another program's brief hold on the file and tells a file that is not
// there from one that cannot be read; a replacement is written to
// a temporary file beside the target, reaches the disk, and only then takes
// the target's place in one step, so that a crash or a full disk at any
// moment leaves either the old file or the new one.
//
// What writing over the file kept is kept: a symbolic link stays a link and
// the file it leads to is replaced; the replaced file's security and
// streams stay where the system can keep them. Where replacing would cost
// more than it saves, the new content is written over the old bytes
// instead: a file with several names (each must see the new settings), a
// folder that takes no new file, a file that another program holds open
// and will not let go. That one way is not safe from a crash.
#pragma once

#include <cstddef>
#include <string>

#include "settings/platform.h"

// The steps of a replacement after the checks; test builds can make each
// one fail. `temporary` refuses only the temporary file, so that the save
// writes over the file itself.
enum class SaveStep { none, open, temporary, write, flush, close, replace };

enum class ReadStatus {
    read,
    not_found,  // neither the file nor, perhaps, its folder is there
    unreadable, // it is there but could not be read, or not to its end
};

// Takes a file's bytes in order, block by block, as they are read.
class ReadSink {
  public:
    // Before the first block, and again when a read that found the file
    // busy starts over: whatever was taken before is void.
    virtual void start(std::size_t size_hint) = 0;
    // False when the sink wants no more bytes.
    virtual bool take(const char* data, std::size_t n) = 0;

  protected:
    ~ReadSink() = default;
};

// Reads the file into `sink` up to its end, or until the sink wants no more.
// Unless the answer is ReadStatus::read, what the sink took is void.
ReadStatus read_file(const std::string& path, ReadSink& sink);

class FileReplacement {
  public:
    explicit FileReplacement(const std::string& target);
    // Takes the temporary file away unless commit() put it in place.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Checks that the target may be replaced (not read-only, not a folder)
    // and creates the temporary file beside the file it names, or opens
    // that file to write over it.
    bool begin();
    // Buffered; a failure is kept for commit() to report.
    void write(const char* data, std::size_t n);
    void write(const std::string& text) { write(text.data(), text.size()); }
    // Puts the content in place of the target. False, with the target as it
    // was and no temporary file left, when any step failed; writing over
    // the target keeps it as it was where the failure allows.
    bool commit();

  private:
    bool create_temp();
    bool write_through(const char* data, std::size_t n);
    bool drain();
    bool replace_target();
    bool overwrite_target();
    bool take_back_temp();
    void discard();

    const std::string target_;
    std::string real_;   // the file that the target names, past any link
    std::string folder_; // real_'s
    std::string temp_;
    bool in_place_ = false; // buffer_ then gathers the whole content
    sys::File file_;
    std::string buffer_;
    bool ok_ = false;
    std::size_t written_ = 0;
    SaveStep injected_ = SaveStep::none;
    std::size_t injected_after_ = 0;
};

// "~mb", five letters or digits drawn from the process and the counter, and
// two that check those five: 10 bytes, no longer than "mabiru.dat", so
// that a settings path that fits the system's limit gives a temporary path
// that fits too. A name that a person or another program chose fails the
// check: any one character changed does.
std::string temp_name(unsigned long process_id, unsigned counter);
bool is_temp_name(const std::string& name);

// A save takes seconds; a temporary file left unwritten for this long
// belongs to no save that is still running, on this machine or another.
constexpr long long stale_temp_age_s = 10 * 60;

// Deletes the temporary files in `folder` (with its trailing separator)
// that an editor killed in the middle of a save left: names of temp_name()'s
// making, unwritten for stale_temp_age_s. Windows also refuses to delete
// one that a save still holds open. Nothing else is touched.
void remove_stale_temps(const std::string& folder);

#ifdef MABIRU_TEST_SEAMS
// Test builds only.

// Makes the next replacement fail at `step` as if the system had refused
// it. With SaveStep::write, `after_bytes` bytes reach the temporary file
// first. The next begin() consumes it; SaveStep::none clears it.
void inject_save_failure(SaveStep step, std::size_t after_bytes = 0);

// Makes the next read_file() fail after it has handed `blocks` blocks to
// its sink, as a disk error part-way would.
void inject_read_failure(std::size_t blocks);

// Environment variable read by commit(): milliseconds to sleep between the
// finished temporary file and putting it in place.
#define MABIRU_SAVE_DELAY_ENV "MABIRU_TEST_SAVE_DELAY_MS"
// Environment variable read by begin(): when set, no temporary file can be
// created, as in a folder that takes no new files.
#define MABIRU_NO_TEMP_ENV "MABIRU_TEST_NO_TEMPORARY"
#endif
