#include "settings/password.h"

namespace {

const unsigned char password_key = 0x5D;

unsigned hex_value(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

} // namespace

std::string fold(const std::string& x) {
    const std::size_t n = x.size();
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n / 2; ++i) {
        out += x[i];
        out += x[n - 1 - i];
    }
    if (n % 2 != 0)
        out += x[n / 2];
    return out;
}

std::string unfold(const std::string& y) {
    const std::size_t n = y.size();
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; i += 2)
        out += y[i];
    if (n >= 2)
        for (std::size_t i = (n % 2 == 0) ? n - 1 : n - 2;; i -= 2) {
            out += y[i];
            if (i == 1)
                break;
        }
    return out;
}

std::string to_hex(const unsigned char* bytes, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

std::string from_hex(const std::string& digits) {
    const std::size_t m = digits.size() / 2;
    std::string out(m, '\0');
    for (std::size_t i = 0; i < m; ++i) {
        unsigned hi = hex_value(static_cast<unsigned char>(digits[2 * i]));
        unsigned lo = hex_value(static_cast<unsigned char>(digits[2 * i + 1]));
        out[i] = static_cast<char>(hi * 16 + lo);
    }
    return out;
}

void xor_bytes(unsigned char* buffer, std::size_t n, unsigned char key) {
    for (std::size_t i = 0; i < n; ++i)
        buffer[i] ^= key;
}

std::string scramble_password(const std::string& plain) {
    std::string f = fold(plain);
    xor_bytes(reinterpret_cast<unsigned char*>(&f[0]), f.size(), password_key);
    return fold(to_hex(reinterpret_cast<const unsigned char*>(f.data()), f.size()));
}

std::string unscramble_password(const std::string& stored) {
    std::string b = from_hex(unfold(stored));
    xor_bytes(reinterpret_cast<unsigned char*>(&b[0]), b.size(), password_key);
    std::string::size_type zero = b.find('\0');
    if (zero != std::string::npos)
        b.resize(zero);
    return unfold(b);
}
