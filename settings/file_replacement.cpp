#include "settings/file_replacement.h"

#include <cstdlib>

#include "settings/busy_retry.h"
#include "settings/file_reading.h"
#include "settings/in_place.h"
#include "settings/mbtext.h"
#include "settings/temp_files.h"

namespace {

#ifdef MABIRU_TEST_SEAMS
SaveStep injected_step = SaveStep::none;
std::size_t injected_after = 0;

SaveStep take_injected_failure(std::size_t& after_bytes) {
    const SaveStep step = injected_step;
    after_bytes = injected_after;
    injected_step = SaveStep::none;
    if (step == SaveStep::none && !sys::environment(MABIRU_NO_TEMP_ENV).empty())
        return SaveStep::temporary;
    return step;
}

bool system_replace_forced() {
    return !sys::environment(MABIRU_SYSTEM_REPLACE_ENV).empty();
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
constexpr bool system_replace_forced() {
    return false;
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

FileReplacement::FileReplacement(const std::string& target) : target_(target) {}

FileReplacement::~FileReplacement() {
    discard();
}

bool FileReplacement::begin() {
    injected_ = take_injected_failure(injected_after_);
    const sys::Attributes own = sys::attributes_of(target_);
    old_ = sys::identity_of(target_);
    // A file whose attributes or names cannot be told might be read-only or
    // have another name: better no save than one that loses either. A
    // link's own attributes say nothing of the file it leads to, which is
    // written through when the link cannot be resolved.
    if (own.read_only || old_.read_only || own.folder || own.exists != old_.known ||
        injected_ == SaveStep::open)
        return false;
    real_ = target_;
    // The path the system resolves may name another file (a letter the
    // code page cannot spell, a drive seen through another name): it is
    // used only when it leads to the very same file.
    const std::string resolved = old_.known ? sys::final_path_of(target_) : "";
    const bool resolved_ok = !resolved.empty() && sys::identity_of(resolved) == old_;
    sys::Attributes file = own;
    if (resolved_ok && resolved != target_) {
        real_ = resolved;
        file = sys::attributes_of(real_);
        if (file.folder || !file.exists)
            return false;
    }
    folder_ = folder_part(real_);
    keeping_replace_ = sys::has_keeping_replace() || system_replace_forced();
    // A second name would go on showing the old settings after a replace,
    // and a link replaced at its own name would become a file.
    in_place_ = old_.names > 1 || (own.link && !resolved_ok);
    if (!in_place_ && injected_ != SaveStep::temporary) {
        temp_ = create_temp(folder_, file.kept, file_);
        if (!temp_.empty()) {
            ok_ = true;
            return true;
        }
    }
    // Through the target's own name, which the system follows to the file.
    in_place_ = old_.known && open_target();
    ok_ = in_place_;
    return ok_;
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
    const bool ok = in_place_ ? ok_ && overwrite_target(std::move(buffer_)) : replace_target();
    discard();
    if (ok)
        remove_stale_temps(folder_);
    return ok;
}

bool FileReplacement::replace_target() {
    if (!ok_ || temp_.empty())
        return false;
    bool ok = drain() && injected_ != SaveStep::flush && sys::sync(file_);
    ok = file_.close() && ok && injected_ != SaveStep::close;
    if (!ok)
        return false;
    test_delay();
    if (injected_ == SaveStep::replace)
        return false;
    new_ = sys::identity_of(temp_);
    switch (retry_while_busy([&] { return put_in_place(); })) {
    case sys::Result::ok:
        sys::sync_folder(folder_);
        return true;
    case sys::Result::busy:
        return take_back_temp();
    default:
        return false;
    }
}

// One try: ok once the new file is in place, busy while another program
// holds the old one, failed when it cannot be put there. Whatever a failed
// step left, the target's name holds the old file or the new one after it,
// where the system allows.
sys::Result FileReplacement::put_in_place() {
    if (keeping_replace_ && old_.known) {
        const sys::Result free = sys::free_to_replace(real_);
        if (free == sys::Result::busy)
            return free;
        if (free == sys::Result::ok) {
            // A name of the save's own for the old file: with it the
            // system's replace never deletes the old file before the new
            // one is in, and what a refusal left can be found.
            if (backup_.empty()) {
                sys::File reserved;
                backup_ = create_temp(folder_, 0, reserved);
            }
            if (!backup_.empty()) {
                const Put put = after(sys::replace_file(temp_, real_, backup_));
                // Refused for good (a file system that cannot replace,
                // security that cannot be carried over): a plain move may
                // still do.
                if (put != Put::refused)
                    return result_of(put);
            }
        }
    }
    // A first save never replaces a file that it did not see.
    return result_of(after(sys::move_file(temp_, real_, old_.known)));
}

sys::Result FileReplacement::result_of(Put put) {
    switch (put) {
    case Put::done:
        return sys::Result::ok;
    case Put::busy:
        return sys::Result::busy;
    default:
        return sys::Result::failed;
    }
}

// Looks at what a step left under the target's name.
FileReplacement::Put FileReplacement::after(sys::Result step) {
    if (step == sys::Result::ok)
        return finish();
    const sys::Identity now = sys::identity_of(real_);
    if (now == new_)
        return finish(); // in place after all
    if (!now.known && old_.known)
        return recover(step);
    return step == sys::Result::busy ? Put::busy : Put::refused;
}

// The old file is gone from the target's name: the new file goes in, or
// else the old one comes back from where the system left it. A file that
// may hold the only whole copy of either stays.
FileReplacement::Put FileReplacement::recover(sys::Result step) {
    const sys::Result moved = sys::move_file(temp_, real_, false);
    if (moved == sys::Result::ok)
        return finish();
    // There after all: the look missed it.
    if (moved == sys::Result::exists || sys::attributes_of(real_).exists)
        return step == sys::Result::busy ? Put::busy : Put::refused;
    const bool backup_holds_old = !backup_.empty() && sys::identity_of(backup_) == old_;
    if (backup_holds_old && sys::move_file(backup_, real_, false) == sys::Result::ok) {
        backup_.clear();
        return Put::failed;
    }
    temp_.clear();
    if (backup_holds_old)
        backup_.clear();
    return Put::failed;
}

// The new file is in place: the temporary name is gone with it, and the old
// file, or the name reserved for it, is the save's own to delete.
FileReplacement::Put FileReplacement::finish() {
    temp_.clear();
    if (!backup_.empty())
        sys::remove(backup_);
    backup_.clear();
    return Put::done;
}

// The replace is still refused (another program holds the file and will
// not share its deletion), but the file may open for writing all the same.
bool FileReplacement::take_back_temp() {
    std::string content;
    if (!open_target() || read_file(temp_, content) != ReadStatus::read)
        return false;
    return overwrite_target(std::move(content));
}

bool FileReplacement::open_target() {
    return retry_while_busy([&] { return sys::open_for_overwrite(target_, file_); }) ==
           sys::Result::ok;
}

bool FileReplacement::overwrite_target(std::string content) {
    const Overwrite result = write_over(file_, std::move(content));
    const bool closed = file_.close();
    // The temporary file, if there is one, holds the only whole copy of the
    // new settings while the old ones are damaged.
    if (result == Overwrite::damaged)
        temp_.clear();
    return result == Overwrite::written && closed;
}

void FileReplacement::discard() {
    file_.close();
    if (!temp_.empty())
        sys::remove(temp_);
    if (!backup_.empty())
        sys::remove(backup_);
    temp_.clear();
    backup_.clear();
    ok_ = false;
}
