#include <gtest/gtest.h>

#include "settings/password.h"

TEST(Password, FoldAndUnfoldOrder) {
    EXPECT_EQ(fold("01234"), "04132");
    EXPECT_EQ(fold("012345"), "051423");
    EXPECT_EQ(unfold("01234"), "02431");
    EXPECT_EQ(unfold("012345"), "024531");
    std::string x;
    for (int n = 0; n < 10; ++n, x += static_cast<char>('a' + n)) {
        EXPECT_EQ(unfold(fold(x)), x);
        EXPECT_EQ(fold(unfold(x)), x);
    }
}

TEST(Password, Hex) {
    const unsigned char bytes[] = {0x00, 0x5D, 0xAB, 0xFF};
    EXPECT_EQ(to_hex(bytes, 4), "005dabff");
    EXPECT_EQ(to_hex(bytes, 0), "");
    EXPECT_EQ(from_hex("005DabFF"), std::string("\x00\x5D\xAB\xFF", 4));
    // A last digit without a partner is ignored; other bytes count as 0.
    EXPECT_EQ(from_hex("abc"), "\xAB");
    EXPECT_EQ(from_hex("zg1x"), std::string("\x00\x10", 2));
}

TEST(Password, StoredForm) {
    // fold "8264", XOR 0x5D "656f6b69", folded again.
    EXPECT_EQ(scramble_password("8642"), "69566bf6");
    EXPECT_EQ(unscramble_password("69566bf6"), "8642");
    EXPECT_EQ(scramble_password("A"), "1c");
    EXPECT_EQ(scramble_password(""), "");
    EXPECT_EQ(unscramble_password(""), "");
    // Upper-case digits read like lower-case ones.
    EXPECT_EQ(unscramble_password("69566BF6"), "8642");
}

TEST(Password, RoundTripsAnyBytesButZero) {
    const std::string plains[] = {
        "x", "pass word", "\x01\x7F\x80\xFF", "\x95\x5C\x83\x5C", std::string(257, '\x5D'),
    };
    for (const std::string& p : plains) {
        std::string stored = scramble_password(p);
        EXPECT_EQ(stored.size(), 2 * p.size());
        EXPECT_EQ(stored.find_first_not_of("0123456789abcdef"), std::string::npos);
        EXPECT_EQ(unscramble_password(stored), p);
    }
}

TEST(Password, MalformedStoredForms) {
    // Odd length: unfolded whole, the last digit ignored.
    const unsigned char ab[] = {0x1C, 0x1F}; // 'A', 'B' after XOR
    EXPECT_EQ(unscramble_password(fold(to_hex(ab, 2) + "7")), "AB");

    // A byte that decodes to zero ends the password; the bytes before it are
    // unfolded.
    const unsigned char xored[] = {0x1C, 0x5D, 0x1F}; // 'A', zero, 'B'
    EXPECT_EQ(unscramble_password(fold(to_hex(xored, 3))), "A");

    // Junk decodes as zero nibbles without reading past the text.
    EXPECT_EQ(unscramble_password("zz"), "]");
}
