#include "settings/whole_file.h"

#include <cstdlib>
#include <memory>

#include "settings/mbtext.h"

namespace {

// Another program (a virus scanner, a backup, the publishing tool, another
// editor just done with its own save) may hold the file for a moment: try
// for a little over half a second before giving up.
constexpr int busy_tries = 12;
constexpr unsigned busy_pause_ms = 50;

template <class Step> sys::Result retry_while_busy(Step step) {
    sys::Result result = step();
    for (int attempt = 1; attempt < busy_tries && result == sys::Result::busy; ++attempt) {
        sys::sleep_ms(busy_pause_ms);
        result = step();
    }
    return result;
}

// Reads go in blocks of this size; smaller writes are gathered into them.
constexpr std::size_t block_size = std::size_t(1) << 20;

const char base36[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t max_id_digits = 7; // 36^7 > 2^32

int base36_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    return -1;
}

// The process id in `name` when it is a temporary file's name.
bool temp_owner(const std::string& name, unsigned long& process_id) {
    const std::size_t dot = name.size() - 2;
    if (name.size() < 4 || name[0] != '~' || name[dot] != '.' || base36_value(name.back()) < 0 ||
        dot - 1 > max_id_digits)
        return false;
    unsigned long long id = 0;
    for (std::size_t i = 1; i < dot; ++i) {
        const int digit = base36_value(name[i]);
        if (digit < 0)
            return false;
        id = id * 36 + static_cast<unsigned>(digit);
    }
    process_id = static_cast<unsigned long>(id);
    return id == process_id;
}

#ifdef MABIRU_TEST_SEAMS
SaveStep injected_step = SaveStep::none;
std::size_t injected_after = 0;

SaveStep take_injected_failure(std::size_t& after_bytes) {
    const SaveStep step = injected_step;
    after_bytes = injected_after;
    injected_step = SaveStep::none;
    return step;
}

// The fault tests stop the editor inside this window.
void test_delay() {
    const unsigned long ms =
        std::strtoul(sys::environment(MABIRU_SAVE_DELAY_ENV).c_str(), nullptr, 10);
    if (ms > 0)
        sys::sleep_ms(static_cast<unsigned>(ms));
}
#else
constexpr SaveStep take_injected_failure(std::size_t&) {
    return SaveStep::none;
}
inline void test_delay() {}
#endif

} // namespace

#ifdef MABIRU_TEST_SEAMS
void inject_save_failure(SaveStep step, std::size_t after_bytes) {
    injected_step = step;
    injected_after = after_bytes;
}
#endif

ReadStatus read_file(const std::string& path, ReadSink& sink) {
    const std::unique_ptr<char[]> block(new char[block_size]);
    const sys::Result result = retry_while_busy([&] {
        sys::File file;
        std::size_t size = 0;
        sys::Result step = sys::open_for_reading(path, file, size);
        if (step != sys::Result::ok)
            return step;
        sink.start(size);
        std::size_t got = 0;
        while ((step = sys::read(file, block.get(), block_size, got)) == sys::Result::ok &&
               got > 0 && sink.take(block.get(), got)) {
        }
        return step;
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

std::string temp_name(unsigned long process_id, unsigned counter) {
    char digits[max_id_digits];
    std::size_t n = 0;
    do {
        digits[n++] = base36[process_id % 36];
        process_id /= 36;
    } while (process_id != 0 && n < max_id_digits);
    std::string name = "~";
    while (n > 0)
        name += digits[--n];
    name += '.';
    name += base36[counter % 36];
    return name;
}

void remove_stale_temps(const std::string& folder) {
    for (const std::string& name : sys::file_names(folder)) {
        unsigned long owner;
        if (temp_owner(name, owner) && !sys::process_running(owner))
            sys::remove(folder + name);
    }
}

FileReplacement::FileReplacement(const std::string& target)
    : target_(target), folder_(folder_part(target)) {}

FileReplacement::~FileReplacement() {
    discard();
}

bool FileReplacement::begin() {
    injected_ = take_injected_failure(injected_after_);
    if (!sys::may_replace(target_) || injected_ == SaveStep::open)
        return false;
    // Never a file that exists: another editor may be writing its own.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 36; ++attempt) {
        temp_ = folder_ + temp_name(sys::process_id(), counter++);
        const sys::Result result = sys::create_new(temp_, target_, file_);
        if (result == sys::Result::ok) {
            ok_ = true;
            return true;
        }
        if (result != sys::Result::exists)
            break;
    }
    temp_.clear();
    return false;
}

void FileReplacement::write(const char* data, std::size_t n) {
    if (!ok_)
        return;
    if (buffer_.size() + n > block_size && !drain())
        return;
    if (n >= block_size) {
        ok_ = write_through(data, n);
        return;
    }
    if (buffer_.capacity() < block_size)
        buffer_.reserve(block_size);
    buffer_.append(data, n);
}

bool FileReplacement::write_through(const char* data, std::size_t n) {
    std::size_t allowed = n;
    if (injected_ == SaveStep::write && written_ + n > injected_after_)
        allowed = injected_after_ - written_;
    const bool ok = sys::write(file_, data, allowed);
    written_ += allowed;
    return ok && allowed == n;
}

bool FileReplacement::drain() {
    if (ok_ && !buffer_.empty())
        ok_ = write_through(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok_;
}

bool FileReplacement::commit() {
    if (temp_.empty())
        return false;
    bool ok = drain() && injected_ != SaveStep::flush && sys::sync(file_);
    ok = file_.close() && ok && injected_ != SaveStep::close;
    if (ok) {
        test_delay();
        ok = injected_ != SaveStep::replace &&
             retry_while_busy([&] { return sys::replace(temp_, target_); }) == sys::Result::ok;
    }
    if (!ok) {
        discard();
        return false;
    }
    temp_.clear();
    sys::sync_folder(folder_);
    remove_stale_temps(folder_);
    return true;
}

void FileReplacement::discard() {
    file_.close();
    if (!temp_.empty())
        sys::remove(temp_);
    temp_.clear();
    ok_ = false;
}
