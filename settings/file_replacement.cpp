#include "settings/file_replacement.h"

#include <cstdlib>

#include "settings/busy_retry.h"
#include "settings/file_reading.h"
#include "settings/in_place.h"
#include "settings/test_hooks.h"

namespace {

#ifdef MABIRU_TEST_SEAMS
// Whether the end-to-end tests set the hook `variable` for this editor.
bool hook_set(const char* variable) {
    return !sys::environment(variable).empty();
}

// The fault tests stop the editor inside this window.
void test_delay() {
    const unsigned long ms =
        std::strtoul(sys::environment(MABIRU_SAVE_DELAY_ENV).c_str(), nullptr, 10);
    if (ms > 0)
        sys::sleep_ms(static_cast<unsigned>(ms));
}
#else
constexpr bool hook_set(const char*) {
    return false;
}
inline void test_delay() {}
#endif

bool keeping_replace() {
    return sys::has_keeping_replace() || hook_set(MABIRU_SYSTEM_REPLACE_ENV);
}

} // namespace

bool FileReplacement::begin() {
    at_ = locate(target_);
    const sys::Attributes& own = at_.own;
    const sys::Identity& old = at_.identity;
    // A file whose attributes or names cannot be told might be read-only or
    // have another name: better no save than one that loses either. A
    // link's own attributes say nothing of the file it leads to, which is
    // written through when the link cannot be resolved.
    if (own.read_only || old.read_only || own.folder || (own.exists != old.known && !at_.dangling))
        return false;
    const bool followed = at_.real != target_;
    sys::Attributes file = own;
    if (followed) {
        file = sys::attributes_of(at_.real);
        // There, or, behind a link whose file was gone, still not there.
        if (file.folder || file.exists == at_.dangling)
            return false;
    }
    // A second name would go on showing the old settings after a replace,
    // and a link replaced at its own name would become a file.
    in_place_ = old.names > 1 || (own.link && !followed);
    if (!in_place_ && !hook_set(MABIRU_NO_TEMP_ENV) &&
        temp_.create(at_.folder, TempKind::writing, file.kept)) {
        ok_ = true;
        return true;
    }
    // Through the target's own name, which the system follows to the file.
    in_place_ = old.known && open_target();
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
        ok_ = sys::write(temp_.file(), data, n);
        return;
    }
    buffer_.append(data, n);
}

bool FileReplacement::drain() {
    if (ok_ && !buffer_.empty())
        ok_ = sys::write(temp_.file(), buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok_;
}

bool FileReplacement::commit() {
    if (!ok_)
        return false;
    if (in_place_)
        return write_in_place(std::move(buffer_));
    const bool synced = drain() && sys::sync(temp_.file());
    if (!temp_.close() || !synced)
        return false;
    // Only now that its content is on the disk does it take a name that
    // says so. Without that name it goes in by the one-step move alone,
    // which leaves no moment without a settings file.
    const bool whole = temp_.rename(TempKind::replacement);
    test_delay();
    new_ = sys::identity_of(temp_.path());
    switch (retry_while_busy([&] { return put_in_place(whole); })) {
    case Put::done:
        sys::sync_folder(at_.folder);
        return true;
    case Put::busy:
        return take_back_temp();
    default:
        return false;
    }
}

// One try. Whatever a failed step left, the target's name holds the old
// file or the new one after it, where the system allows.
FileReplacement::Put FileReplacement::put_in_place(bool whole) {
    if (keeping_replace() && at_.identity.known && whole) {
        const sys::Result free = sys::free_to_replace(at_.real);
        if (free == sys::Result::busy)
            return Put::busy;
        // The backup's name is reserved by an empty file of the save's own,
        // which the system's replace puts the old file over: the old file is
        // never deleted before the new one is in, and a start after a crash
        // between the two renames tells the two apart by their names.
        TempFile backup;
        if (free == sys::Result::ok && backup.create(at_.folder, TempKind::backup, 0) &&
            backup.close()) {
            switch (sys::replace_file(temp_.path(), at_.real, backup.path())) {
            case sys::Replaced::done:
                temp_.moved();
                return Put::done;
            case sys::Replaced::busy: {
                const Put put = after(sys::Result::busy);
                // Documented to change nothing; where the look finds the
                // name empty all the same, the backup's name may hold the
                // old file.
                if (put == Put::stranded)
                    backup.keep();
                return put;
            }
            case sys::Replaced::old_at_backup:
                return recover(&backup);
            case sys::Replaced::both_kept:
                // Not replaced (security that cannot be carried over, a file
                // system that cannot replace): a plain move may still do.
                break;
            }
        }
    }
    // A first save never replaces a file that it did not see.
    return after(sys::move_file(temp_.path(), at_.real, at_.identity.known));
}

// A step that refused left both files under their names, as documented;
// the save looks all the same, as far as it can trust what it sees.
FileReplacement::Put FileReplacement::after(sys::Result step) {
    if (step == sys::Result::ok) {
        temp_.moved();
        return Put::done;
    }
    const sys::Identity& old = at_.identity;
    if (old.known && !sys::attributes_of(at_.real).exists)
        return recover(nullptr);
    // Some network and user-space file systems give every file the same
    // index: then no identity says which file is where.
    if (new_.tells_apart() && old.tells_apart() && !(old == new_) &&
        sys::identity_of(at_.real) == new_) {
        temp_.moved(); // in place after all
        return Put::done;
    }
    return step == sys::Result::busy ? Put::busy : Put::refused;
}

// Nothing is under the target's name: the new file goes in, or else the old
// one comes back from the backup's name, where it is. Where neither can,
// both stay under names that the next start knows.
FileReplacement::Put FileReplacement::recover(TempFile* backup) {
    const sys::Result moved = sys::move_file(temp_.path(), at_.real, false);
    if (moved == sys::Result::ok) {
        temp_.moved();
        return Put::done;
    }
    if (moved == sys::Result::exists || sys::attributes_of(at_.real).exists) {
        // There after all, and not of this save's making: nothing of the
        // old settings is let go.
        if (backup)
            backup->keep();
        return Put::refused;
    }
    if (backup && sys::move_file(backup->path(), at_.real, false) == sys::Result::ok) {
        backup->moved();
        return Put::refused;
    }
    temp_.keep();
    if (backup)
        backup->keep();
    return Put::stranded;
}

// The replace is still refused (another program holds the file and will
// not share its deletion), but the file may open for writing all the same.
bool FileReplacement::take_back_temp() {
    std::string content;
    if (!open_target() || read_file(temp_.path(), content) != ReadStatus::read)
        return false;
    // The whole new content waits beside the file while it is written over.
    return temp_.rename(TempKind::beside) && write_over_target(std::move(content), temp_);
}

bool FileReplacement::open_target() {
    return retry_while_busy([&] { return sys::open_for_overwrite(target_, file_); }) ==
           sys::Result::ok;
}

bool FileReplacement::write_in_place(std::string content) {
    TempFile copy;
    // A folder that takes no new file gets no copy.
    if (copy.create(at_.folder, TempKind::writing, 0)) {
        const bool ok =
            sys::write(copy.file(), content.data(), content.size()) && sys::sync(copy.file());
        if (!copy.close() || !ok || !copy.rename(TempKind::beside))
            return false;
    }
    return write_over_target(std::move(content), copy);
}

bool FileReplacement::write_over_target(std::string content, TempFile& copy) {
    // The copy's name reaches the disk before the file's first byte changes.
    if (copy.owns())
        sys::sync_folder(at_.folder);
    const Overwrite result = write_over(file_, std::move(content));
    const bool closed = file_.close();
    const bool written = result == Overwrite::written && closed;
    // A file that may not be whole keeps the whole copy of the new settings
    // beside it: the next start shows that.
    if (!written && result != Overwrite::old_kept)
        copy.keep();
    return written;
}
