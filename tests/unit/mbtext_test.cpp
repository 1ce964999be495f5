#include <gtest/gtest.h>

#include "settings/mbtext.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using Fields = std::vector<std::string>;

// Puts the process's table back after a test that switches code pages.
struct CodePageGuard {
    unsigned saved = lead_byte_code_page();
    ~CodePageGuard() { select_lead_byte_code_page(saved); }
};

Fields split(const std::string& text, const std::string& separators, int limit) {
    Fields fields;
    int n = split_fields(text.c_str(), separators.c_str(), fields, limit);
    EXPECT_EQ(n, static_cast<int>(fields.size())) << text;
    return fields;
}

const std::string S = "\x01";
// Double-byte characters whose second byte is a backslash: HYO 0x95 0x5C,
// SO 0x83 0x5C; and hiragana A, 0x82 0xA0.
const std::string hyo = "\x95\x5C", so = "\x83\x5C", hira_a = "\x82\xA0";

bool is_932_lead(unsigned b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

} // namespace

TEST(LeadBytes, ComeFromTheSystemCodePage932) {
#ifdef _WIN32
    // Filled before main from GetACP; the tests run Wine with code page 932.
    ASSERT_EQ(GetACP(), 932u);
    EXPECT_EQ(lead_byte_code_page(), GetACP());
    for (unsigned b = 0; b < 256; ++b)
        EXPECT_EQ(is_lead_byte(b), IsDBCSLeadByteEx(932, static_cast<BYTE>(b)) != 0) << b;
#else
    EXPECT_EQ(lead_byte_code_page(), 932u);
#endif
    for (unsigned b = 0; b < 256; ++b)
        EXPECT_EQ(is_lead_byte(b), is_932_lead(b)) << b;
}

TEST(LeadBytes, OtherCodePages) {
    CodePageGuard guard;
    for (unsigned cp : {936u, 949u, 950u}) {
        select_lead_byte_code_page(cp);
        for (unsigned b = 0; b < 256; ++b)
            EXPECT_EQ(is_lead_byte(b), b >= 0x81 && b <= 0xFE) << cp << ' ' << b;
    }
    // A single-byte code page splits HYO in two.
    select_lead_byte_code_page(1252);
    EXPECT_EQ(reverse_find(("a" + hyo).c_str(), '\\'), 2u);
#ifdef _WIN32
    // Without fixed ranges a double-byte code page takes GetCPInfo's.
    if (IsValidCodePage(1361)) {
        select_lead_byte_code_page(1361);
        for (unsigned b = 0; b < 256; ++b)
            EXPECT_EQ(is_lead_byte(b), IsDBCSLeadByteEx(1361, static_cast<BYTE>(b)) != 0) << b;
    }
#endif
}

TEST(NextChar, TakesWholeCharacters) {
    const std::string text = hyo + "a\x81";
    const char* cursor = text.c_str();
    EXPECT_EQ(next_char(cursor), hyo);
    EXPECT_EQ(next_char(cursor), "a");
    // A lead byte with nothing after it stands alone and stops on the end.
    EXPECT_EQ(next_char(cursor), "\x81");
    EXPECT_EQ(cursor, text.c_str() + 4);
    EXPECT_EQ(next_char(cursor), "");
    EXPECT_EQ(cursor, text.c_str() + 4);
}

TEST(SplitFields, LimitTwoAsTheLoaderUsesIt) {
    const std::pair<std::string, Fields> cases[] = {
        {"a" + S + "b", {"a", "b"}},
        {"a" + S + "b" + S + "c", {"a", "b" + S + "c"}},
        {"a" + S + S + "b", {"a", S + "b"}},
        {S + S + "a" + S + "b", {"a", "b"}},
        {"a" + S, {"a"}},
        {S + "a", {"a"}},
        {"a", {"a"}},
        {"", {}},
        // The lead byte takes the separator as its second byte.
        {"a\x81" + S + "b", {"a\x81" + S + "b"}},
        {"k" + S + hyo + S + S, {"k", hyo + S + S}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(split(c.first, S, 2), c.second) << c.first;
}

TEST(SplitFields, OtherLimitsAndSeparators) {
    EXPECT_EQ(split(S + "a" + S + S + "b" + S, S, 0), (Fields{"a", "b"}));
    EXPECT_EQ(split("a" + hira_a + "b", "", 0), (Fields{"a", hira_a, "b"}));
    EXPECT_EQ(split("", ",", 1), (Fields{""}));
    EXPECT_EQ(split("a,,b", ",", 1), (Fields{"a,,b"}));
    // Separators match whole characters only.
    EXPECT_EQ(split("x" + hira_a + "y,z", hira_a + ",", 0), (Fields{"x", "y", "z"}));
    EXPECT_EQ(split(hyo + "\\b", "\\", 0), (Fields{hyo, "b"}));
    EXPECT_EQ(split("\x81" + hira_a, hira_a, 0), (Fields{"\x81" + hira_a}));

    // Elements already in the list count in the result and in the limit.
    Fields fields = {"p", "q"};
    EXPECT_EQ(split_fields("a b c", " ", fields, 2), 4);
    EXPECT_EQ(fields, (Fields{"p", "q", "a", "b c"}));
}

TEST(FindString, MatchesOnlyAtCharacterStarts) {
    EXPECT_EQ(find_string(hyo.c_str(), "\\"), no_match);
    EXPECT_EQ(find_string((hyo + "\\").c_str(), "\\"), 2u);
    EXPECT_EQ(find_string((so + "\\" + hyo).c_str(), hyo.c_str()), 3u);
    EXPECT_EQ(find_string("abc", ""), 0u);
    EXPECT_EQ(find_string("", ""), no_match);
    EXPECT_EQ(find_string("xab", "abc"), no_match);
    EXPECT_EQ(find_string("a\x81", "\x81"), 1u);
}

// The search jumps between candidate bytes and works out character starts
// from the lead bytes before them; walking from the start, one character at
// a time, must give the same answer on any bytes.
TEST(FindString, AgreesWithACharacterWalkOnRandomText) {
    const auto walk = [](const std::string& text, const std::string& pattern) {
        for (std::size_t i = 0; i < text.size(); i += is_lead_byte(text[i]) ? 2 : 1)
            if (text.compare(i, pattern.size(), pattern) == 0)
                return i;
        return no_match;
    };
    // Bytes that matter: lead bytes, the marks, CR LF, backslash, ASCII.
    const unsigned char alphabet[] = {0x81, 0x82, 0x9F, 0xE0, 0xFC, 0x02,
                                      0x0D, 0x0A, 0x5C, 'a',  0xA0, 0x40};
    const std::string patterns[] = {"\x02", "\r\n", "\\", "a", "\x81\x02", "\x82\xA0", "\n\x02"};
    unsigned seed = 12345;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int length = static_cast<int>(seed % 24);
        for (int i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            text += static_cast<char>(alphabet[(seed >> 16) % sizeof alphabet]);
        }
        for (const std::string& pattern : patterns) {
            const std::size_t expected = text.empty() ? no_match : walk(text, pattern);
            ASSERT_EQ(find_string(text.c_str(), pattern.c_str()), expected)
                << "text of " << text.size() << " bytes, round " << round;
        }
    }
}

TEST(ReplaceAll, ReplacesLeftmostWithoutOverlap) {
    std::string s = "a\r\nb" + hyo + "\r\n";
    EXPECT_EQ(replace_all(s, "\r\n", "\x02"), 2u);
    EXPECT_EQ(s, "a\x02" + ("b" + hyo) + "\x02");
    EXPECT_EQ(replace_all(s, "\x02", "\r\n"), 2u);
    EXPECT_EQ(s, "a\r\nb" + hyo + "\r\n");

    const struct {
        std::string target, search, replacement, result;
        std::size_t count;
    } cases[] = {
        {"aaa", "aa", "X", "Xa", 1},        {"ab", "ab", "", "", 1},
        {"aba", "a", "aa", "aabaa", 2}, // the replacement is not searched again
        {hyo + so, "\\", "/", hyo + so, 0}, {"", "a", "b", "", 0},
        {"abc", "", "x", "abc", 0},
    };
    for (const auto& c : cases) {
        std::string t = c.target;
        EXPECT_EQ(replace_all(t, c.search, c.replacement), c.count) << c.target;
        EXPECT_EQ(t, c.result);
    }
}

TEST(ReverseFind, SkipsSecondBytes) {
    EXPECT_EQ(reverse_find(("C:\\" + hyo + "\\a.exe").c_str(), '\\'), 5u);
    EXPECT_EQ(reverse_find((hyo + so).c_str(), '\\'), no_match);
    EXPECT_EQ(reverse_find("", '\\'), no_match);
}
