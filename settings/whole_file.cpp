#include "settings/whole_file.h"

#include <cstdint>
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
const char temp_prefix[] = "~mb";
constexpr std::size_t prefix_size = sizeof temp_prefix - 1;
constexpr std::size_t token_size = 5;
constexpr std::size_t temp_name_size = prefix_size + token_size + 2;

int base36_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    return -1;
}

// Weighted by position modulo a prime above 35 * 5, so that changing any
// one of the five characters always changes the check.
unsigned token_check(const char* token) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < token_size; ++i)
        sum += static_cast<unsigned>(i + 1) * static_cast<unsigned>(base36_value(token[i]));
    return (sum + 0x2b) % 1291; // 1291 < 36 * 36: two digits
}

#ifdef MABIRU_TEST_SEAMS
SaveStep injected_step = SaveStep::none;
std::size_t injected_after = 0;
std::size_t read_fails_after = std::size_t(-1);

// The next read's failure, if one was asked for.
std::size_t take_read_failure() {
    const std::size_t blocks = read_fails_after;
    read_fails_after = std::size_t(-1);
    return blocks;
}

SaveStep take_injected_failure(std::size_t& after_bytes) {
    const SaveStep step = injected_step;
    after_bytes = injected_after;
    injected_step = SaveStep::none;
    if (step == SaveStep::none && !sys::environment(MABIRU_NO_TEMP_ENV).empty())
        return SaveStep::temporary;
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
constexpr std::size_t take_read_failure() {
    return std::size_t(-1);
}
inline void test_delay() {}
#endif

} // namespace

#ifdef MABIRU_TEST_SEAMS
void inject_save_failure(SaveStep step, std::size_t after_bytes) {
    injected_step = step;
    injected_after = after_bytes;
}

void inject_read_failure(std::size_t blocks) {
    read_fails_after = blocks;
}
#endif

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

} // namespace

ReadStatus read_file(const std::string& path, ReadSink& sink) {
    const std::unique_ptr<char[]> block(new char[block_size]);
    const std::size_t fail_after = take_read_failure();
    const sys::Result result = retry_while_busy([&] {
        sys::File file;
        std::size_t size = 0;
        sys::Result step = sys::open_for_reading(path, file, size);
        if (step != sys::Result::ok)
            return step;
        sink.start(size);
        std::size_t got = 0;
        for (std::size_t blocks = 0;; ++blocks) {
            step = blocks == fail_after ? sys::Result::failed
                                        : sys::read(file, block.get(), block_size, got);
            if (step != sys::Result::ok || got == 0 || !sink.take(block.get(), got))
                break;
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
    // Spread, so that editors on machines sharing a folder seldom meet.
    std::uint32_t h = static_cast<std::uint32_t>(process_id) * 0x9E3779B1u + counter;
    h = (h ^ (h >> 16)) * 0x85EBCA6Bu;
    h = (h ^ (h >> 13)) * 0xC2B2AE35u;
    h ^= h >> 16;
    std::string name = temp_prefix;
    for (std::size_t i = 0; i < token_size; ++i, h /= 36)
        name += base36[h % 36];
    const unsigned check = token_check(name.data() + prefix_size);
    name += base36[check / 36];
    name += base36[check % 36];
    return name;
}

bool is_temp_name(const std::string& name) {
    if (name.size() != temp_name_size || name.compare(0, prefix_size, temp_prefix) != 0)
        return false;
    for (std::size_t i = prefix_size; i < temp_name_size; ++i)
        if (base36_value(name[i]) < 0)
            return false;
    const unsigned check = static_cast<unsigned>(base36_value(name[temp_name_size - 2]) * 36 +
                                                 base36_value(name[temp_name_size - 1]));
    return check == token_check(name.data() + prefix_size);
}

void remove_stale_temps(const std::string& folder) {
    for (const sys::FileEntry& file : sys::files_in(folder))
        if (is_temp_name(file.name) && file.age_s >= stale_temp_age_s)
            sys::remove(folder + file.name);
}

FileReplacement::FileReplacement(const std::string& target) : target_(target) {}

FileReplacement::~FileReplacement() {
    discard();
}

bool FileReplacement::begin() {
    injected_ = take_injected_failure(injected_after_);
    // A link's own attributes say nothing of the file it leads to.
    const sys::FileFacts facts = sys::facts_of(target_);
    if (!sys::may_replace(target_) || !sys::may_replace(facts.real_path) ||
        injected_ == SaveStep::open)
        return false;
    real_ = facts.real_path;
    folder_ = folder_part(real_);
    // A second name would go on showing the old settings after a replace.
    if (facts.names <= 1 && injected_ != SaveStep::temporary && create_temp()) {
        ok_ = true;
        return true;
    }
    // Through the target's own name, which the system follows to the file.
    in_place_ = facts.names > 0 && sys::open_for_overwrite(target_, file_) == sys::Result::ok;
    ok_ = in_place_;
    return ok_;
}

bool FileReplacement::create_temp() {
    // Never a file that exists: another editor may be writing its own.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 36; ++attempt) {
        temp_ = folder_ + temp_name(sys::process_id(), counter++);
        const sys::Result result = sys::create_new(temp_, real_, file_);
        if (result == sys::Result::ok)
            return true;
        if (result != sys::Result::exists)
            break;
    }
    temp_.clear();
    return false;
}

void FileReplacement::write(const char* data, std::size_t n) {
    if (!ok_)
        return;
    if (in_place_) {
        buffer_.append(data, n);
        return;
    }
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
    if (!(in_place_ ? overwrite_target() : replace_target())) {
        discard();
        return false;
    }
    remove_stale_temps(folder_);
    return true;
}

bool FileReplacement::replace_target() {
    if (temp_.empty())
        return false;
    bool ok = drain() && injected_ != SaveStep::flush && sys::sync(file_);
    ok = file_.close() && ok && injected_ != SaveStep::close;
    if (!ok)
        return false;
    test_delay();
    if (injected_ == SaveStep::replace)
        return false;
    if (retry_while_busy([&] { return sys::replace(temp_, real_); }) == sys::Result::ok) {
        temp_.clear();
        sys::sync_folder(folder_);
        return true;
    }
    return take_back_temp();
}

// The replace is still refused (another program holds the file and will
// not share its deletion), but the file may open for writing all the same.
bool FileReplacement::take_back_temp() {
    if (sys::open_for_overwrite(target_, file_) != sys::Result::ok)
        return false;
    StringSink sink(buffer_);
    if (read_file(temp_, sink) != ReadStatus::read)
        return false;
    sys::remove(temp_);
    temp_.clear();
    return overwrite_target();
}

bool FileReplacement::overwrite_target() {
    const bool ok = ok_ && sys::overwrite(file_, buffer_.data(), buffer_.size());
    return file_.close() && ok;
}

void FileReplacement::discard() {
    file_.close();
    if (!temp_.empty())
        sys::remove(temp_);
    temp_.clear();
    ok_ = false;
}
