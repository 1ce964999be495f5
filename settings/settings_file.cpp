#include "settings/settings_file.h"

#include <algorithm>
#include <cstring>

#include "settings/file_replacement.h"
#include "settings/temp_files.h"
#include "settings/mbtext.h"

namespace {

// Bytes that no key, value or separator may hold: LF ends a line, 0x1A ends
// the file and a zero byte ends a line's text when it is read back.
bool holds_unwritable_byte(const std::string& text) {
    for (const char c : {'\n', '\x1A', '\0'})
        if (std::memchr(text.data(), c, text.size()) != nullptr)
            return true;
    return false;
}

// Lines that outgrow this are lists of many lines, read and kept with care.
constexpr std::size_t long_line = std::size_t(1) << 16;

// Assembles the lines of a settings file as text mode reads them and keeps
// each well-formed one, so that the caller's map is touched only once the
// whole file has been read.
class Loader final : public ReadSink {
  public:
    explicit Loader(const std::string& separator) : separator_(separator) {}

    void start(std::size_t size_hint) override {
        entries_.clear();
        line_.clear();
        left_ = size_hint;
    }

    bool take(const char* data, std::size_t n) override {
        left_ -= std::min(left_, n);
        // 0x1A ends the file, as text mode has always read it.
        const char* const mark = static_cast<const char*>(std::memchr(data, 0x1A, n));
        const char* const end = mark ? mark : data + n;
        for (const char* p = data; p < end;) {
            const char* const lf =
                static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            append(p, lf ? lf : end);
            if (lf == nullptr)
                break;
            end_line(true);
            p = lf + 1;
        }
        return mark == nullptr;
    }

    // Adds what was read to `map`; a key already there takes the file's value.
    void add_to(SettingsMap& map) {
        // The last line needs no line break.
        if (!line_.empty())
            end_line(false);
        for (auto& entry : entries_)
            map.insert_or_assign(entry.first, std::move(entry.second));
    }

  private:
    void append(const char* p, const char* end) {
        const std::size_t n = static_cast<std::size_t>(end - p);
        // Room for the rest of the file at once: a list of a million lines
        // is then copied neither while it grows nor when it becomes a value.
        if (line_.size() + n > line_.capacity() && line_.size() + n > long_line)
            line_.reserve(std::max(line_.size() + n + left_, 2 * line_.capacity()));
        line_.append(p, n);
    }

    void end_line(bool by_line_feed) {
        // The text ends at a zero byte; CR LF reads as a line end.
        if (const void* zero = std::memchr(line_.data(), 0, line_.size()))
            line_.resize(static_cast<std::size_t>(static_cast<const char*>(zero) - line_.data()));
        else if (by_line_feed && !line_.empty() && line_.back() == '\r')
            line_.pop_back();
        EntrySplit at;
        if (split_entry(line_.data(), line_.size(), separator_.c_str(), at) == 2) {
            std::string key = line_.substr(at.key_begin, at.key_end - at.key_begin);
            if (line_.size() > long_line) {
                line_.erase(0, at.value_begin);
                entries_.insert_or_assign(std::move(key), std::move(line_));
                line_ = std::string();
            } else {
                entries_.insert_or_assign(std::move(key), line_.substr(at.value_begin));
            }
        }
        line_.clear();
    }

    const std::string& separator_;
    SettingsMap entries_;
    std::string line_;
    std::size_t left_ = 0; // of the file, as far as its size was told
};

} // namespace

void parse_settings(const std::string& bytes, SettingsMap& map, const std::string& separator,
                    std::size_t block_size) {
    Loader loader(separator);
    loader.start(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t n = std::min(block_size, bytes.size() - at);
        if (!loader.take(bytes.data() + at, n))
            break;
        at += n;
    }
    loader.add_to(map);
}

ReadStatus load_settings(SettingsMap& map, const std::string& path, const std::string& separator) {
    Loader loader(separator);
    const ReadStatus status = read_file(path, loader);
    if (status == ReadStatus::read)
        loader.add_to(map);
    return status;
}

namespace {

// Whether the file can be what a write over it left that a cut stopped:
// it was dated after the copy beside it was written, and not long after.
bool may_be_cut_off(const Copy& copy, const FileLocation& at) {
    const long long gap = at.identity.written_s - copy.written_s;
    return at.identity.known && gap >= -file_time_slack_s && gap <= beside_copy_window_s;
}

} // namespace

StartLoad load_settings_at_start(SettingsMap& map, const std::string& path,
                                 const std::string& separator) {
    StartLoad start;
    const FileLocation at = locate(path);
    start.file_found = at.found;
    // The copies that may stand for the file, newest first, and the old
    // settings that a replace moved aside, older by their kind.
    std::vector<std::string> stand_in, moved_aside;
    for (const Copy& copy : copies_in(at.copy_folders())) {
        if (at.found ? copy.kind == TempKind::beside && may_be_cut_off(copy, at)
                     : copy.kind == TempKind::replacement)
            stand_in.push_back(copy.path);
        else if (!at.found && copy.kind == TempKind::backup)
            moved_aside.push_back(copy.path);
    }
    if (stand_in.empty()) {
        start.source = path;
        start.status = load_settings(map, path, separator);
        return start;
    }
    start.source = stand_in.front();
    start.status = load_settings(map, start.source, separator);
    if (start.status != ReadStatus::read)
        return start;
    start.shown_copy = start.source;
    stand_in.insert(stand_in.end(), moved_aside.begin(), moved_aside.end());
    for (std::size_t i = 1; i < stand_in.size(); ++i) {
        SettingsMap older;
        if (load_settings(older, stand_in[i], separator) == ReadStatus::read)
            start.older_copies.push_back(stand_in[i]);
    }
    return start;
}

bool entry_loads_back(const std::string& key, const std::string& value,
                      const std::string& separator) {
    if (key.empty() || separator.empty() || holds_unwritable_byte(key) ||
        holds_unwritable_byte(value) || holds_unwritable_byte(separator))
        return false;
    // Everything after the first separator is the value, so the line comes
    // back as written when the loader's own split finds the key whole,
    // followed by exactly one separator.
    const std::string probe = key + separator + "v";
    EntrySplit at;
    return split_entry(probe.data(), probe.size(), separator.c_str(), at) == 2 &&
           at.key_begin == 0 && at.key_end == key.size() &&
           at.value_begin == key.size() + separator.size();
}

namespace {

bool all_load_back(const SettingsMap& map, const std::string& separator) {
    for (const auto& [key, value] : map)
        if (!entry_loads_back(key, value, separator))
            return false;
    return true;
}

// The one routine that lays out the lines, for the save and the in-memory
// text alike, so that the two cannot drift apart. `write` takes pieces, so
// that the save streams a huge list instead of copying it.
template <class Write>
void write_entries(const SettingsMap& map, const std::string& separator, Write&& write) {
    for (const auto& [key, value] : map) {
        write(key.data(), key.size());
        write(separator.data(), separator.size());
        write(value.data(), value.size());
        write("\r\n", 2);
    }
}

} // namespace

bool settings_text(const SettingsMap& map, const std::string& separator, std::string& text) {
    if (!all_load_back(map, separator))
        return false;
    std::size_t size = 0;
    write_entries(map, separator, [&size](const char*, std::size_t n) { size += n; });
    std::string bytes;
    bytes.reserve(size);
    write_entries(map, separator,
                  [&bytes](const char* data, std::size_t n) { bytes.append(data, n); });
    text = std::move(bytes);
    return true;
}

bool save_settings(const SettingsMap& map, const std::string& path, const std::string& separator,
                   const StartLoad& start) {
    if (!all_load_back(map, separator))
        return false;
    FileReplacement file(path);
    if (!file.begin())
        return false;
    write_entries(map, separator,
                  [&file](const char* data, std::size_t n) { file.write(data, n); });
    if (!file.commit())
        return false;
    // What was shown is in the file now; the copies it came from are done.
    if (!start.shown_copy.empty())
        sys::remove(start.shown_copy);
    for (const std::string& copy : start.older_copies)
        sys::remove(copy);
    if (start.file_found)
        for (const std::string& folder : file.location().copy_folders())
            remove_stale_temps(folder);
    return true;
}
