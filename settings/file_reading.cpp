#include "settings/file_reading.h"

#include <algorithm>
#include <memory>

#include "settings/busy_retry.h"

namespace {

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

// Hands what is left of `file` to `sink` in blocks of `n` bytes, until its
// end or until the sink wants no more.
sys::Result read_blocks(sys::File& file, std::size_t n, ReadSink& sink) {
    const std::unique_ptr<char[]> block(new char[n]);
    for (;;) {
        std::size_t got = 0;
        const sys::Result step = sys::read(file, block.get(), n, got);
        if (step != sys::Result::ok || got == 0 || !sink.take(block.get(), got))
            return step;
    }
}

} // namespace

ReadStatus read_file(const std::string& path, ReadSink& sink) {
    const sys::Result result = retry_while_busy([&] {
        sys::File file;
        std::size_t size = 0;
        const sys::Result opened = sys::open_for_reading(path, file, size);
        if (opened != sys::Result::ok)
            return opened;
        sink.start(size);
        // A settings file of a few kilobytes takes one small block; one whose
        // size the system cannot tell, the largest.
        const std::size_t n = std::max<std::size_t>(size + 1, 4096);
        return read_blocks(file, size == 0 ? block_size : std::min(block_size, n), sink);
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
    StringSink sink(bytes);
    return read_blocks(file, block_size, sink) == sys::Result::ok;
}
