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

FileReplacement::FileReplacement(const std::string& target, bool tidy)
    : target_(target), tidy_(tidy) {}

FileReplacement::~FileReplacement() {
    discard();
}

std::string resolved_path(const std::string& path, const sys::Identity& identity) {
    // A link's own text says where it leads, hop by hop, so that no
    // identity has to tell files apart; where identities can, they must
    // agree that it is the very same file.
    std::string at = path;
    for (int hop = 0; hop < 8 && sys::attributes_of(at).link; ++hop) {
        const std::string next = sys::link_target(at);
        if (next.empty())
            return path;
        at = next;
    }
    if (at != path)
        return sys::attributes_of(at).link ||
                       (identity.tells_apart() && !(sys::identity_of(at) == identity))
                   ? path
                   : at;
    // A link the system does not show as one (Wine's own) is followed by
    // the path the system resolves, which may name another file (a letter
    // the code page cannot spell): only where identities tell the file
    // from its very folder and say it is the same.
    const std::string resolved = identity.tells_apart() ? sys::final_path_of(path) : "";
    if (resolved.empty() || resolved == path || !(sys::identity_of(resolved) == identity))
        return path;
    const sys::Identity folder = sys::identity_of(folder_part(path));
    return folder.known && !(folder == identity) ? resolved : path;
}

namespace {

// Renames `path` to the same name of another kind; false, with `path` as it
// was, when the name cannot be had.
bool rename_to(std::string& path, TempKind kind) {
    std::string renamed = with_kind(path, kind);
    if (retry_while_busy([&] { return sys::move_file(path, renamed, false); }) != sys::Result::ok)
        return false;
    path = std::move(renamed);
    return true;
}

} // namespace

bool FileReplacement::begin() {
    injected_ = take_injected_failure(injected_after_);
    const sys::Attributes own = sys::attributes_of(target_);
    old_ = sys::identity_of(target_);
    // A file whose attributes or names cannot be told might be read-only or
    // have another name: better no save than one that loses either. A
    // link's own attributes say nothing of the file it leads to, which is
    // written through when the link cannot be resolved.
    // A link whose file is gone (a save cut off between the two renames of
    // the system's replace) gets its file back where it leads.
    const std::string dangling = own.link && !old_.known ? sys::link_target(target_) : "";
    if (own.read_only || old_.read_only || own.folder ||
        (own.exists != old_.known && dangling.empty()) || injected_ == SaveStep::open)
        return false;
    real_ = old_.known ? resolved_path(target_, old_) : dangling.empty() ? target_ : dangling;
    const bool resolved_ok = real_ != target_;
    sys::Attributes file = own;
    if (resolved_ok) {
        file = sys::attributes_of(real_);
        // There, or, behind a link whose file was gone, still not there.
        if (file.folder || file.exists != dangling.empty())
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
    if (ok && tidy_)
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
    // Only now that its content is on the disk does it take a name that
    // says so; where that fails, it goes in all the same.
    rename_to(temp_, TempKind::whole);
    test_delay();
    if (injected_ == SaveStep::replace)
        return false;
    new_ = sys::identity_of(temp_);
    // Some network and user-space file systems give every file the same
    // index: then no identity says which file is where.
    trusted_ = new_.tells_apart() && old_.tells_apart() && !(old_ == new_);
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
        if (free == sys::Result::ok && reserve_backup()) {
            switch (sys::replace_file(temp_, real_, backup_)) {
            case sys::Replaced::done:
                return result_of(finish());
            case sys::Replaced::busy:
                return result_of(after(sys::Result::busy));
            case sys::Replaced::old_at_backup:
                old_at_backup_ = true;
                return result_of(recover());
            case sys::Replaced::both_kept:
                // Not replaced (security that cannot be carried over, a file
                // system that cannot replace): a plain move may still do.
                break;
            }
        }
    }
    // A first save never replaces a file that it did not see.
    return result_of(after(sys::move_file(temp_, real_, old_.known)));
}

// A name of the save's own for the old file, of the kind that says whole,
// since the old file is whole: with it the system's replace never deletes
// the old file before the new one is in, and a start after a crash between
// the two finds it. An empty file of the kind being written keeps the name
// the save's own.
bool FileReplacement::reserve_backup() {
    if (!backup_.empty())
        return true;
    if (reserved_.empty()) {
        sys::File reserved;
        reserved_ = create_temp(folder_, 0, reserved);
    }
    if (reserved_.empty())
        return false;
    const std::string name = with_kind(reserved_, TempKind::whole);
    if (sys::attributes_of(name).exists)
        return false;
    backup_ = name;
    return true;
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

// A step that refused left both files under their names, as documented;
// the save looks all the same, as far as it can trust what it sees.
FileReplacement::Put FileReplacement::after(sys::Result step) {
    if (step == sys::Result::ok)
        return finish();
    if (old_.known && !sys::attributes_of(real_).exists)
        return recover();
    if (trusted_ && sys::identity_of(real_) == new_)
        return finish(); // in place after all
    return step == sys::Result::busy ? Put::busy : Put::refused;
}

// Nothing is under the target's name: the new file goes in, or else the
// old one comes back from the backup name. Where neither can, both stay
// under names that the next start takes a whole copy from.
FileReplacement::Put FileReplacement::recover() {
    const sys::Result moved = sys::move_file(temp_, real_, false);
    if (moved == sys::Result::ok)
        return finish();
    // There after all: the look missed it.
    if (moved == sys::Result::exists || sys::attributes_of(real_).exists)
        return Put::refused;
    if (old_at_backup_ && sys::move_file(backup_, real_, false) == sys::Result::ok) {
        old_at_backup_ = false;
        backup_.clear();
        return Put::failed;
    }
    temp_.clear();
    backup_.clear();
    return Put::failed;
}

// The new file is in place: the temporary name is gone with it, and the old
// file under the backup name is the save's own to delete.
FileReplacement::Put FileReplacement::finish() {
    temp_.clear();
    if (!backup_.empty())
        sys::remove(backup_);
    backup_.clear();
    old_at_backup_ = false;
    return Put::done;
}

// The replace is still refused (another program holds the file and will
// not share its deletion), but the file may open for writing all the same.
bool FileReplacement::take_back_temp() {
    std::string content;
    if (!open_target() || read_file(temp_, content) != ReadStatus::read)
        return false;
    // The whole copy waits beside the file while it is written over.
    if (temp_kind(temp_.substr(folder_.size())) == TempKind::whole &&
        rename_to(temp_, TempKind::beside)) {
        beside_ = temp_;
        temp_.clear();
    }
    return overwrite_target(std::move(content));
}

bool FileReplacement::open_target() {
    return retry_while_busy([&] { return sys::open_for_overwrite(target_, file_); }) ==
           sys::Result::ok;
}

bool FileReplacement::overwrite_target(std::string content) {
    if (beside_.empty() && temp_.empty() && injected_ != SaveStep::temporary)
        write_copy_beside(content);
    const Overwrite result = write_over(file_, std::move(content));
    const bool closed = file_.close();
    const bool written = result == Overwrite::written && closed;
    // A file that may not be whole keeps its whole copy of the new settings
    // beside it: the next start shows that.
    if (written || result == Overwrite::old_kept) {
        if (!beside_.empty())
            sys::remove(beside_);
    } else {
        temp_.clear();
    }
    beside_.clear();
    return written;
}

// Best effort: a folder that takes no new file gets no copy.
void FileReplacement::write_copy_beside(const std::string& content) {
    sys::File copy;
    std::string path = create_temp(folder_, 0, copy);
    if (path.empty())
        return;
    const bool ok = sys::write(copy, content.data(), content.size()) && sys::sync(copy);
    if (copy.close() && ok && rename_to(path, TempKind::beside))
        beside_ = path;
    else
        sys::remove(path);
}

void FileReplacement::discard() {
    file_.close();
    if (!temp_.empty())
        sys::remove(temp_);
    if (!reserved_.empty())
        sys::remove(reserved_);
    temp_.clear();
    reserved_.clear();
    ok_ = false;
}
