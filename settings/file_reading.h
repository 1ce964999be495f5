// A file read whole: reading waits out another program's brief hold on the
// file and tells a file that is not there from one that cannot be read.
#pragma once

#include <cstddef>
#include <string>

#include "settings/platform.h"

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

// The whole file into `bytes`.
ReadStatus read_file(const std::string& path, std::string& bytes);

// What is left of an open file, from where its reads are, appended to
// `bytes`; false when a read fails.
bool read_rest(sys::File& file, std::string& bytes);

// Reads go in blocks of this size; the save gathers its writes into them.
constexpr std::size_t block_size = std::size_t(1) << 20;
