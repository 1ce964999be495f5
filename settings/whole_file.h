// A file read whole or replaced whole, never half of either. Reading waits
// out another program's brief hold on the file and tells a file that is not
// there from one that cannot be read; a replacement is written to
// a temporary file beside the target, reaches the disk, and only then takes
// the target's place in one step, so that a crash or a full disk at any
// moment leaves either the old file or the new one.
#pragma once

#include <cstddef>
#include <string>

#include "settings/platform.h"

// The steps of a replacement after the checks; test builds can make each
// one fail.
enum class SaveStep { none, open, write, flush, close, replace };

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
    // and creates the temporary file beside it.
    bool begin();
    // Buffered; a failure is kept for commit() to report.
    void write(const char* data, std::size_t n);
    void write(const std::string& text) { write(text.data(), text.size()); }
    // Puts the content in place of the target. False, with the target as it
    // was and no temporary file left, when any step failed.
    bool commit();

  private:
    bool write_through(const char* data, std::size_t n);
    bool drain();
    void discard();

    const std::string target_;
    const std::string folder_;
    std::string temp_;
    sys::File file_;
    std::string buffer_;
    bool ok_ = false;
    std::size_t written_ = 0;
    SaveStep injected_ = SaveStep::none;
    std::size_t injected_after_ = 0;
};

// "~<process id>.<counter>", both in base 36: at most 10 bytes, no longer
// than "mabiru.dat", so that a settings path that fits the system's limit
// gives a temporary path that fits too. The counter is taken modulo 36.
std::string temp_name(unsigned long process_id, unsigned counter);

// Deletes the temporary files in `folder` (with its trailing separator)
// whose process no longer runs: an editor killed in the middle of a save
// left them. Those of a running editor, which may be saving now, stay.
void remove_stale_temps(const std::string& folder);

#ifdef MABIRU_TEST_SEAMS
// Test builds only.

// Makes the next replacement fail at `step` as if the system had refused
// it. With SaveStep::write, `after_bytes` bytes reach the temporary file
// first. The next begin() consumes it; SaveStep::none clears it.
void inject_save_failure(SaveStep step, std::size_t after_bytes = 0);

// Environment variable read by commit(): milliseconds to sleep between the
// finished temporary file and putting it in place.
#define MABIRU_SAVE_DELAY_ENV "MABIRU_TEST_SAVE_DELAY_MS"
#endif
