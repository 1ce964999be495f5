#include "settings/mbtext.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

bool lead_table[256];
unsigned table_code_page;

void set_range(unsigned first, unsigned last) {
    for (unsigned b = first; b <= last && b < 256; ++b)
        lead_table[b] = true;
}

void fill_ranges(unsigned code_page) {
    switch (code_page) {
    case 932:
        set_range(0x81, 0x9F);
        set_range(0xE0, 0xFC);
        return;
    case 936:
    case 949:
    case 950:
        set_range(0x81, 0xFE);
        return;
    default:
        break;
    }
#ifdef _WIN32
    CPINFO info;
    if (GetCPInfo(code_page, &info) && info.MaxCharSize >= 2) {
        // Pairs of first and last lead byte, ended by a pair of zeros.
        for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2)
            set_range(info.LeadByte[i], info.LeadByte[i + 1]);
    }
#endif
}

void fill_lead_table(unsigned code_page) {
    std::memset(lead_table, 0, sizeof lead_table);
    table_code_page = code_page;
    fill_ranges(code_page);
}

// Runs before main, so that the table is ready before any program code.
struct LeadTableInit {
    LeadTableInit() {
#ifdef _WIN32
        fill_lead_table(GetACP());
#else
        fill_lead_table(932);
#endif
    }
} lead_table_init;

inline bool lead(unsigned char byte) {
    return lead_table[byte];
}

// Length of the character at `p`, given that `p` < `end`. A lead byte with
// nothing after it stands alone.
inline std::size_t char_len(const char* p, const char* end) {
    return (lead(static_cast<unsigned char>(*p)) && p + 1 < end) ? 2 : 1;
}

} // namespace

bool is_lead_byte(unsigned char byte) {
    return lead(byte);
}

unsigned lead_byte_code_page() {
    return table_code_page;
}

void select_lead_byte_code_page(unsigned code_page) {
    fill_lead_table(code_page);
}

std::string next_char(const char*& cursor) {
    if (*cursor == '\0')
        return std::string();
    std::size_t n = (lead(static_cast<unsigned char>(cursor[0])) && cursor[1] != '\0') ? 2 : 1;
    std::string ch(cursor, n);
    cursor += n;
    return ch;
}

namespace {

// One-byte separators in a flag table, double-byte ones in a short list; a
// character matches only a member of its own length.
class SeparatorSet {
  public:
    explicit SeparatorSet(const char* separators) {
        for (const char* s = separators; *s != '\0';) {
            std::string ch = next_char(s);
            empty_ = false;
            if (ch.size() == 1)
                single_[static_cast<unsigned char>(ch[0])] = true;
            else
                doubles_.push_back(ch);
        }
    }

    bool empty() const { return empty_; }

    bool holds(const char* p, std::size_t n) const {
        if (n == 1)
            return single_[static_cast<unsigned char>(*p)];
        for (const std::string& d : doubles_)
            if (d[0] == p[0] && d[1] == p[1])
                return true;
        return false;
    }

  private:
    bool single_[256] = {};
    std::vector<std::string> doubles_;
    bool empty_ = true;
};

} // namespace

int split_fields(const char* text, const char* separators, std::vector<std::string>& fields,
                 int limit) {
    const SeparatorSet set(separators);
    const char* end = text + std::strlen(text);
    if (set.empty()) {
        for (const char* p = text; p < end;) {
            std::size_t n = char_len(p, end);
            fields.emplace_back(p, n);
            p += n;
        }
        return static_cast<int>(fields.size());
    }
    if (limit == 1) {
        fields.emplace_back(text, end);
        return 1;
    }

    // A field is always one unbroken run of non-separator characters, so it
    // is kept as a range of the text rather than built character by character.
    const char* field = nullptr;
    for (const char* p = text; p < end;) {
        std::size_t n = char_len(p, end);
        if (!set.holds(p, n)) {
            if (field == nullptr)
                field = p;
        } else if (field != nullptr) {
            fields.emplace_back(field, p);
            field = nullptr;
            if (limit > 0 && fields.size() + 1 >= static_cast<std::size_t>(limit)) {
                if (p + n < end)
                    fields.emplace_back(p + n, end);
                return static_cast<int>(fields.size());
            }
        }
        p += n;
    }
    if (field != nullptr)
        fields.emplace_back(field, end);
    return static_cast<int>(fields.size());
}

int split_entry(const char* text, std::size_t length, const char* separators, EntrySplit& at) {
    const SeparatorSet set(separators);
    const char* const end = text + length;
    const char* p = text;
    std::size_t n = 0;
    if (set.empty()) {
        // Every character is a field of its own: two only for a line of two.
        if (p == end || (p += char_len(p, end)) == end || p + char_len(p, end) != end)
            return 0;
        at = {0, static_cast<std::size_t>(p - text), static_cast<std::size_t>(p - text)};
        return 2;
    }
    while (p < end && set.holds(p, n = char_len(p, end)))
        p += n;
    if (p == end)
        return 0;
    at.key_begin = static_cast<std::size_t>(p - text);
    while (p < end && !set.holds(p, n = char_len(p, end)))
        p += n;
    at.key_end = static_cast<std::size_t>(p - text);
    if (p == end || p + n == end)
        return 1;
    at.value_begin = static_cast<std::size_t>(p + n - text);
    return 2;
}

namespace {

// First character start in [p, end) where the n bytes of `pattern` begin, or
// nullptr; `p` is a character start. The lists are megabytes long, so a
// pattern that starts with a one-byte character is looked for with memchr.
// Whether a byte found there starts a character follows from the run of lead
// bytes right before it: the byte before the run is not a lead byte, so it
// ends a character (whole, or as a second byte), the run pairs up from its
// start, and an odd run makes the found byte a second byte.
const char* find_in(const char* p, const char* end, const char* pattern, std::size_t n) {
    if (p >= end)
        return nullptr;
    if (n == 0)
        return p;
    const unsigned char first = static_cast<unsigned char>(pattern[0]);
    const auto matches_at = [&](const char* q) {
        return n == 1 || (static_cast<std::size_t>(end - q) >= n &&
                          std::memcmp(q + 1, pattern + 1, n - 1) == 0);
    };
    if (!lead(first)) {
        while (p < end) {
            const char* q =
                static_cast<const char*>(std::memchr(p, first, static_cast<std::size_t>(end - p)));
            if (q == nullptr)
                return nullptr;
            const char* run = q;
            while (run > p && lead(static_cast<unsigned char>(run[-1])))
                --run;
            if ((q - run) % 2 == 0 && matches_at(q))
                return q;
            // Either way the next character starts right after q.
            p = q + 1;
        }
        return nullptr;
    }
    for (; p < end; p += char_len(p, end))
        if (static_cast<unsigned char>(*p) == first && matches_at(p))
            return p;
    return nullptr;
}

} // namespace

std::size_t find_string(const char* text, const char* pattern) {
    const char* end = text + std::strlen(text);
    const char* hit = find_in(text, end, pattern, std::strlen(pattern));
    return hit ? static_cast<std::size_t>(hit - text) : no_match;
}

std::size_t replace_all(std::string& target, const std::string& search,
                        const std::string& replacement) {
    if (target.empty() || search.empty())
        return 0;
    const char* begin = target.data();
    const char* end = begin + target.size();
    const char* pat = search.data();
    const std::size_t n = search.size();

    std::size_t count = 0;
    for (const char* p = find_in(begin, end, pat, n); p; p = find_in(p + n, end, pat, n))
        ++count;
    if (count == 0)
        return 0;

    // Sized exactly once, filled by plain copies: the lists hold a million
    // line breaks.
    const std::size_t r = replacement.size();
    std::string out(target.size() - count * n + count * r, '\0');
    char* to = &out[0];
    const char* from = begin;
    for (const char* p = find_in(begin, end, pat, n); p; p = find_in(p + n, end, pat, n)) {
        std::memcpy(to, from, static_cast<std::size_t>(p - from));
        to += p - from;
        if (r != 0)
            std::memcpy(to, replacement.data(), r);
        to += r;
        from = p + n;
    }
    std::memcpy(to, from, static_cast<std::size_t>(end - from));
    target.swap(out);
    return count;
}

std::size_t reverse_find(const char* text, char byte) {
    std::size_t found = no_match;
    const char* end = text + std::strlen(text);
    for (const char* p = text; p < end; p += char_len(p, end))
        if (*p == byte)
            found = static_cast<std::size_t>(p - text);
    return found;
}

std::string folder_part(const std::string& path) {
    std::size_t folder = 0;
    const char* const begin = path.c_str();
    const char* const end = begin + std::strlen(begin);
    for (const char* p = begin; p < end; p += char_len(p, end))
        if (*p == '\\' || *p == '/')
            folder = static_cast<std::size_t>(p - begin) + 1;
    return path.substr(0, folder);
}
