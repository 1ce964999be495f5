#include "settings/file_reading.h"

#include <memory>

#include "settings/busy_retry.h"

namespace {

#ifdef MABIRU_TEST_SEAMS
std::size_t read_fails_after = std::size_t(-1);

// The next read's failure, if one was asked for.
std::size_t take_read_failure() {
    const std::size_t blocks = read_fails_after;
    read_fails_after = std::size_t(-1);
    return blocks;
}
#else
constexpr std::size_t take_read_failure() {
    return std::size_t(-1);
}
#endif

// Keeps what a read gives, for a content that has to be read back.
class StringSink final : public ReadSink {
  public:
    explicit StringSink(std::string& bytes) : bytes_(bytes) {}
    void start(std::size_t size_hint) override {
        bytes_.clear();
        bytes_.reserve(size_hint);
    }
    bool take(const char* data, std::size_t n) override {
        bytes_.append(data, n);
        return true;
    }

  private:
    std::string& bytes_;
};

// Hands what is left of `file` to `sink` in blocks, until its end or until
// the sink wants no more; a read fails after `fail_after` blocks.
sys::Result read_blocks(sys::File& file, char* block, ReadSink& sink, std::size_t fail_after) {
    sys::Result step = sys::Result::ok;
    std::size_t got = 0;
    for (std::size_t blocks = 0;; ++blocks) {
        step = blocks == fail_after ? sys::Result::failed : sys::read(file, block, block_size, got);
        if (step != sys::Result::ok || got == 0 || !sink.take(block, got))
            return step;
    }
}

} // namespace

#ifdef MABIRU_TEST_SEAMS
void inject_read_failure(std::size_t blocks) {
    read_fails_after = blocks;
}
#endif

ReadStatus read_file(const std::string& path, ReadSink& sink) {
    const std::unique_ptr<char[]> block(new char[block_size]);
    const std::size_t fail_after = take_read_failure();
    const sys::Result result = retry_while_busy([&] {
        sys::File file;
        std::size_t size = 0;
        const sys::Result opened = sys::open_for_reading(path, file, size);
        if (opened != sys::Result::ok)
            return opened;
        sink.start(size);
        return read_blocks(file, block.get(), sink, fail_after);
    });
    switch (result) {
    case sys::Result::ok:
        return ReadStatus::read;
    case sys::Result::not_found:
        return ReadStatus::not_found;
    default:
        return ReadStatus::unreadable;
    }
}

ReadStatus read_file(const std::string& path, std::string& bytes) {
    StringSink sink(bytes);
    return read_file(path, sink);
}

bool read_rest(sys::File& file, std::string& bytes) {
    const std::unique_ptr<char[]> block(new char[block_size]);
    StringSink sink(bytes);
    return read_blocks(file, block.get(), sink, std::size_t(-1)) == sys::Result::ok;
}
