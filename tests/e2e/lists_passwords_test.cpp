// The two file lists travel as lines joined by 0x02 and the password in its
// scrambled form; both must come back exactly as the user left them.
#include "settings_bytes.h"

using namespace e2e;

namespace {

const Bytes kHyo = "\x95\x5C"; // 表, whose second byte is a backslash
const Bytes kEnd = "\x1A";     // the byte that ends a file read as text
// Both kana end in the byte 0x5C, a trap for anything that walks bytes.
const Bytes kDoubleBytePassword = "パス表ソ日本語pw";

// One start that OK ends, and the next start: what the file holds before,
// what the user types, what OK stores, and what the next start shows.
struct Row {
    const char* name;
    bool on_sample; // the sample file, else a first start
    Values file;    // over the sample, before the first start
    Values typed;
    Values stored; // over what the first start read
    Values shown;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

// Typed into the dialog, stored as marks or scrambled, shown again the same.
Row typed(const char* name, bool on_sample, const Values& typed, const Values& stored,
          const Values& shown) {
    return {name, on_sample, {}, typed, stored, shown};
}

// Stored in the sample file, shown as lines or plain, saved back unchanged.
Row stored(const char* name, const Values& file, const Values& shown) {
    return {name, true, file, {}, {}, shown};
}

using ListsAndPasswords = EditorTestWithParam<Row>;

} // namespace

// The rows' own bytes: worked examples of the scrambling, and a password
// that holds both kana with a trail byte 0x5C.
TEST(ListsAndPasswordsRows, HoldTheBytesTheyAreMeantTo) {
    EXPECT_EQ(scrambled("ab" + kEnd + "cd"), "37c43e933f");
    EXPECT_EQ(kDoubleBytePassword.substr(4, 4), "\x95\x5C\x83\x5C");
    EXPECT_EQ(scrambled(kDoubleBytePassword).size(), 2 * kDoubleBytePassword.size());
}

TEST_P(ListsAndPasswords, ComeBackAsTheUserLeftThem) {
    const Row& row = GetParam();
    const Values file = with(sample_values(), row.file);
    ASSERT_TRUE(row.on_sample ? open(file) : start());
    // Nothing typed: the stored values show at once.
    if (row.typed.empty()) {
        EXPECT_TRUE(shows(*editor, row.shown));
    }
    type(*editor, row.typed);
    const Values saved = with(row.on_sample ? file : first_start_file(folder.path()), row.stored);
    EXPECT_TRUE(ok_saves(saved));

    ASSERT_TRUE(start());
    EXPECT_TRUE(shows(*editor, row.shown));
    EXPECT_TRUE(ok_saves(saved));
}

INSTANTIATE_TEST_SUITE_P(
    Typed, ListsAndPasswords,
    ::testing::Values(
        // One mark per line break; the empty list is not read back, so it
        // shows empty and stays empty.
        typed("ListsWithEmptyLinesAndAnEmptyList", false,
              {{"allow_files", "one.txt\r\n\r\nthree.txt\r\n"}, {"deny_files", ""}},
              {{"allow_files", "one.txt\x02\x02three.txt\x02"}, {"deny_files", ""}},
              {{"allow_files", "one.txt\r\n\r\nthree.txt\r\n"}, {"deny_files", ""}}),
        // A paste can leave LF alone between lines; a raw LF in the file
        // would cut the entry in two, so every line break becomes one mark.
        typed(
            "PastedBareLineFeedsAsWholeLines", false,
            {{"allow_files", "a\nb\n"}, {"deny_files", "c\r\nd\ne"}},
            {{"allow_files", marked_lines({"a", "b"})},
             {"deny_files", marked_lines({"c", "d"}) + "e"}},
            {{"allow_files", "a\r\nb\r\n"}, {"deny_files", "c\r\nd\r\ne"}, {"host", "127.0.0.1"}}),
        // Read back, a 0x1A ends the file: after the host, every later key
        // would be lost at the next start and for good at the next OK.
        typed("PastedEndOfFileBytesDroppedSoEveryKeyComesBack", true,
              {{"host", kEnd + "ftp.example.net" + kEnd},
               {"allow_files", "a.txt\r\n" + kHyo + kEnd + ".txt\r\n" + kEnd}},
              {{"host", "ftp.example.net"},
               {"allow_files", marked_lines({"a.txt", kHyo + ".txt"})}},
              {{"host", "ftp.example.net"},
               {"id", "author"},
               {"password", "s3cret"},
               {"timediff", "-9"},
               {"is_passive", "1"},
               {"allow_files", crlf_lines({"a.txt", kHyo + ".txt"})}}),
        typed("DoubleBytePassword", false, {{"password", kDoubleBytePassword}},
              {{"password", scrambled(kDoubleBytePassword)}}, {{"password", kDoubleBytePassword}}),
        typed("EmptyPassword", false, {{"password", ""}}, {{"password", ""}}, {{"password", ""}})),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    Stored, ListsAndPasswords,
    ::testing::Values(
        stored("MarksBetweenAndAfterTheLastLine",
               {{"allow_files", "a.txt" + Bytes(1, kMark) + "b.txt"},
                {"deny_files", marked_lines({"x.txt", "y.txt"})}},
               {{"allow_files", "a.txt\r\nb.txt"}, {"deny_files", "x.txt\r\ny.txt\r\n"}}),
        // Stored as hexadecimal digits, the password may hold the byte that
        // ends a file.
        stored("PasswordHolding1A", {{"password", "37c43e933f"}},
               {{"password", "ab" + kEnd + "cd"}}),
        stored("PasswordOfOneByte", {{"password", scrambled("x")}}, {{"password", "x"}}),
        stored("PasswordOfTwoBytes", {{"password", scrambled("ab")}}, {{"password", "ab"}}),
        stored("PasswordOfThreeBytes", {{"password", scrambled("abc")}}, {{"password", "abc"}}),
        stored("PasswordOfTenBytes", {{"password", scrambled("Pass word!")}},
               {{"password", "Pass word!"}})),
    RowName());
