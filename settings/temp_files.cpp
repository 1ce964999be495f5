#include "settings/temp_files.h"

#include <cstddef>

#include "settings/busy_retry.h"

namespace {

const char base36[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t token_size = 5;
constexpr std::size_t name_size = 3 + token_size + 2;
// The names' clock: seconds since 2000-01-01, modulo 36^5 (about 700 days).
// In 32 bits, which last until 2136 and need no 64-bit division on i686.
constexpr long long epoch_s = 946684800;
constexpr std::uint32_t token_span = 36u * 36 * 36 * 36 * 36;

int base36_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    return -1;
}

// Weighted by position modulo a prime above 35 * 21, so that changing any
// one of the characters it covers always changes the check.
unsigned check_of(const char* text, std::size_t n, unsigned offset) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += static_cast<unsigned>(i + 1) * static_cast<unsigned>(base36_value(text[i]));
    return (sum + offset) % 1291; // 1291 < 36 * 36: two digits
}

bool check_holds(const std::string& name, std::size_t from, unsigned offset) {
    for (std::size_t i = from; i < name_size; ++i)
        if (base36_value(name[i]) < 0)
            return false;
    const unsigned check = static_cast<unsigned>(base36_value(name[name_size - 2]) * 36 +
                                                 base36_value(name[name_size - 1]));
    return check == check_of(name.data() + from, name_size - 2 - from, offset);
}

char letter_of(TempKind kind) {
    switch (kind) {
    case TempKind::writing:
        return 'w';
    case TempKind::replacement:
        return 'k';
    case TempKind::beside:
        return 'i';
    case TempKind::backup:
        return 'o';
    default:
        return 0;
    }
}

// The names' clock at `time_s`.
std::uint32_t token_time(long long time_s) {
    const long long since = time_s - epoch_s;
    return since >= 0 ? static_cast<std::uint32_t>(since) % token_span
                      : token_span - 1 - static_cast<std::uint32_t>(-(since + 1)) % token_span;
}

// Puts in the two characters that check a name's kind and token. The
// kind's letter is covered too: no one character makes a file being written
// pass for a whole one.
void set_check(char* name) {
    const unsigned check = check_of(name + 2, token_size + 1, 0x5d);
    name[name_size - 2] = base36[check / 36];
    name[name_size - 1] = base36[check % 36];
}

} // namespace

std::string temp_name(TempKind kind, long long time_s) {
    char name[name_size] = {'~', 'm', letter_of(kind)};
    std::uint32_t t = token_time(time_s);
    for (std::size_t i = 3 + token_size; i-- > 3; t /= 36)
        name[i] = base36[t % 36];
    set_check(name);
    return std::string(name, name_size);
}

TempKind temp_kind(const std::string& name) {
    if (name.size() != name_size || name.compare(0, 2, "~m") != 0)
        return TempKind::none;
    // The earlier version's names: "~mb", five characters and a check of
    // the five alone.
    if (name[2] == 'b')
        return check_holds(name, 3, 0x2b) ? TempKind::earlier : TempKind::none;
    if (!check_holds(name, 2, 0x5d))
        return TempKind::none;
    for (const TempKind kind :
         {TempKind::writing, TempKind::replacement, TempKind::beside, TempKind::backup})
        if (name[2] == letter_of(kind))
            return kind;
    return TempKind::none;
}

long long temp_age_s(const std::string& name, long long now_s) {
    std::uint32_t named = 0;
    for (std::size_t i = 3; i < 3 + token_size; ++i)
        named = named * 36 + static_cast<std::uint32_t>(base36_value(name[i]));
    // Modulo the clock's span, taken as the nearer of ahead and behind.
    const std::uint32_t age = (token_time(now_s) + token_span - named) % token_span;
    return age >= token_span / 2 ? static_cast<long long>(age) - token_span : age;
}

std::string with_kind(const std::string& path, TempKind kind) {
    std::string renamed = path;
    char* const name = &renamed[path.size() - name_size];
    name[2] = letter_of(kind);
    set_check(name);
    return renamed;
}

bool TempFile::create(const std::string& folder, TempKind kind, std::uint32_t kept) {
    remove();
    // Never a file that exists: another editor may be writing its own, or
    // a save may have left it. A name whose other kinds another editor
    // holds costs this save no more than its proof of being whole.
    const long long now = sys::seconds_now();
    for (int attempt = 0; attempt < 36; ++attempt) {
        std::string path = folder + temp_name(kind, now + attempt);
        const sys::Result result = sys::create_new(path, kept, file_);
        if (result == sys::Result::ok) {
            path_ = std::move(path);
            return true;
        }
        if (result != sys::Result::exists)
            break;
    }
    return false;
}

bool TempFile::rename(TempKind kind) {
    std::string renamed = with_kind(path_, kind);
    if (retry_while_busy([&] { return sys::move_file(path_, renamed, false); }) != sys::Result::ok)
        return false;
    path_ = std::move(renamed);
    return true;
}

void TempFile::remove() {
    file_.close();
    if (owns())
        sys::remove(path_);
    path_.clear();
}

void remove_stale_temps(const std::string& folder) {
    const long long now = sys::seconds_now();
    for (const sys::FileEntry& file : sys::files_in(folder)) {
        const TempKind kind = temp_kind(file.name);
        if (kind != TempKind::none && kind != TempKind::earlier &&
            temp_age_s(file.name, now) >= stale_temp_age_s)
            sys::remove(folder + file.name);
    }
}

std::vector<Copy> copies_in(const std::vector<std::string>& folders) {
    std::vector<Copy> found;
    for (const std::string& folder : folders)
        for (sys::FileEntry& file : sys::files_in(folder)) {
            const TempKind kind = temp_kind(file.name);
            if (kind == TempKind::replacement || kind == TempKind::beside ||
                kind == TempKind::backup)
                found.push_back({folder + file.name, kind, file.written_s});
        }
    // Newest content first: a rename keeps the last-write time, so a copy's
    // says when its settings were written. A handful of copies at most.
    for (std::size_t i = 1; i < found.size(); ++i)
        for (std::size_t j = i; j > 0 && found[j - 1].written_s < found[j].written_s; --j)
            std::swap(found[j - 1], found[j]);
    return found;
}
