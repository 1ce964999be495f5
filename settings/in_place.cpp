#include "settings/in_place.h"

#include "settings/file_reading.h"

Overwrite write_over(sys::File& file, std::string content) {
    // Kept to be written back: a failure part-way must not leave a mix.
    std::string old;
    if (!read_rest(file, old))
        return Overwrite::old_kept;
    // Dated now, and that on the disk, before a byte changes: a start after
    // a cut sees the file written after the copy that waits beside it.
    if (!sys::touch(file) || !sys::sync(file))
        return Overwrite::old_kept;
    const std::size_t size = content.size();
    // Room first, so that a full disk fails before a byte is changed.
    if (size > old.size() && !sys::set_size(file, size)) {
        sys::set_size(file, old.size());
        return Overwrite::old_kept;
    }
    // 0x1A ends the file for every reader, so that a crash before the cut
    // still leaves exactly the new settings to read. A cut that is refused
    // (a program maps the file) fails the save: the old bytes go back.
    const bool shorter = size < old.size();
    if (shorter)
        content += '\x1A';
    if (sys::write_at(file, 0, content.data(), content.size()) &&
        (!shorter || sys::set_size(file, size)) && sys::sync(file))
        return Overwrite::written;
    // The old bytes back. A longer file may not be cut back while it is
    // mapped: 0x1A then ends the old settings before the new tail.
    const std::size_t old_size = old.size();
    const bool longer = size > old_size;
    if (longer)
        old += '\x1A';
    if (sys::write_at(file, 0, old.data(), old.size()) &&
        (sys::set_size(file, old_size) || longer)) {
        sys::sync(file);
        return Overwrite::old_kept;
    }
    return Overwrite::damaged;
}
