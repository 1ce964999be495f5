#include "settings/temp_files.h"

namespace {

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

} // namespace

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

std::string create_temp(const std::string& folder, std::uint32_t kept, sys::File& file) {
    // Never a file that exists: another editor may be writing its own.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 36; ++attempt) {
        std::string path = folder + temp_name(sys::process_id(), counter++);
        const sys::Result result = sys::create_new(path, kept, file);
        if (result == sys::Result::ok)
            return path;
        if (result != sys::Result::exists)
            break;
    }
    return "";
}

void remove_stale_temps(const std::string& folder) {
    for (const sys::FileEntry& file : sys::files_in(folder))
        if (is_temp_name(file.name) && file.age_s >= stale_temp_age_s)
            sys::remove(folder + file.name);
}
