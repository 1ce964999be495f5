// Any bytes as a stored password: unscrambling must not crash, a stored form
// that scrambling can produce must come back unchanged, and any password
// without a zero byte must survive scrambling.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "settings/password.h"

namespace {

// Even length, lowercase digits only, and no byte that decodes to zero.
bool canonical(const std::string& stored) {
    if (stored.size() % 2 != 0 || stored.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    std::string bytes = from_hex(unfold(stored));
    return bytes.find('\x5D') == std::string::npos; // 0x5D XOR 0x5D is zero
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    const std::string plain = unscramble_password(input);
    check(plain.size() <= input.size() / 2, "unscrambled password too long");
    check(plain.find('\0') == std::string::npos, "unscrambled password holds a zero byte");
    if (canonical(input))
        check(scramble_password(plain) == input, "a stored form did not come back");

    if (input.find('\0') == std::string::npos) {
        const std::string stored = scramble_password(input);
        check(stored.size() == 2 * input.size() && canonical(stored), "malformed stored form");
        check(unscramble_password(stored) == input, "a password did not come back");
    }
    return 0;
}
