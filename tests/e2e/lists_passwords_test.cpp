// The two file lists travel as lines joined by 0x02 and the password in its
// scrambled form; both must come back exactly as the user left them.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

// Runs the editor once: `act` works the open dialog, then OK.
void run_and_ok(const std::string& exe, const std::function<void(Editor&)>& act) {
    Editor editor(exe);
    ASSERT_TRUE(editor.opened());
    act(editor);
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));
}

} // namespace

TEST(ListsAndPasswords, StoredMarksShowAsLinesAndAreStoredBackTheSame) {
    Folder folder;
    Values file = sample_values();
    file["allow_files"] = "a.txt\x02"
                          "b.txt";             // no mark after the last line
    file["deny_files"] = "x.txt\x02y.txt\x02"; // a mark after the last line
    folder.write("mabiru.dat", file_of(file));

    run_and_ok(folder.add_editor(), [](Editor& editor) {
        EXPECT_EQ(escaped(editor.text(IDC_ALLOW_FILES)), escaped("a.txt\r\nb.txt"));
        EXPECT_EQ(escaped(editor.text(IDC_DENY_FILES)), escaped("x.txt\r\ny.txt\r\n"));
    });
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(file)));
}

TEST(ListsAndPasswords, TypedListsAreStoredWithOneMarkPerLineBreakAndEmptyListsAsEmpty) {
    Folder folder;
    const std::string exe = folder.add_editor();
    run_and_ok(exe, [](Editor& editor) {
        editor.type(IDC_ALLOW_FILES, "one.txt\r\n\r\nthree.txt\r\n");
        editor.type(IDC_DENY_FILES, "");
    });
    Values expected = first_start_file(folder.path());
    expected["allow_files"] = "one.txt\x02\x02three.txt\x02";
    expected["deny_files"] = "";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));

    // The empty list was not read back, so it shows empty and stays empty.
    run_and_ok(exe, [](Editor& editor) {
        EXPECT_EQ(escaped(editor.text(IDC_ALLOW_FILES)), escaped("one.txt\r\n\r\nthree.txt\r\n"));
        EXPECT_EQ(editor.text(IDC_DENY_FILES), "");
    });
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
}

TEST(ListsAndPasswords, PastedListsWithBareLineFeedsAreStoredAsWholeLines) {
    // A paste can leave LF alone between lines; a raw LF in the file would
    // cut the entry in two, so every line break must become one mark.
    Folder folder;
    const std::string exe = folder.add_editor();
    run_and_ok(exe, [](Editor& editor) {
        editor.type(IDC_ALLOW_FILES, "a\nb\n");
        editor.type(IDC_DENY_FILES, "c\r\nd\ne");
    });
    Values expected = first_start_file(folder.path());
    expected["allow_files"] = "a\x02"
                              "b\x02";
    expected["deny_files"] = "c\x02"
                             "d\x02"
                             "e";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));

    run_and_ok(exe, [](Editor& editor) {
        EXPECT_EQ(escaped(editor.text(IDC_ALLOW_FILES)), escaped("a\r\nb\r\n"));
        EXPECT_EQ(escaped(editor.text(IDC_DENY_FILES)), escaped("c\r\nd\r\ne"));
        EXPECT_EQ(editor.text(IDC_HOST), "127.0.0.1");
    });
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
}

TEST(ListsAndPasswords, PastedEndOfFileBytesAreDroppedSoEveryKeyComesBack) {
    // Read back, a 0x1A ends the file: after the host, every later key would
    // be lost at the next start and for good at the next OK.
    Folder folder;
    folder.write("mabiru.dat", file_of(sample_values()));
    const std::string exe = folder.add_editor();
    const Bytes hyo = "\x95\x5C"; // 表, whose second byte is a backslash
    run_and_ok(exe, [&](Editor& editor) {
        editor.type(IDC_HOST, "\x1A"
                              "ftp.example.net\x1A");
        editor.type(IDC_ALLOW_FILES, "a.txt\r\n" + hyo +
                                         "\x1A"
                                         ".txt\r\n\x1A");
    });
    Values expected = sample_values();
    expected["host"] = "ftp.example.net";
    expected["allow_files"] = "a.txt\x02" + hyo + ".txt\x02";
    EXPECT_TRUE(same_bytes(folder.read("mabiru.dat").value_or(""), file_of(expected)));

    Editor editor(exe);
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(editor.text(IDC_HOST), "ftp.example.net");
    EXPECT_EQ(editor.text(IDC_USER_ID), "author");
    EXPECT_EQ(editor.text(IDC_PASSWORD), "s3cret");
    EXPECT_EQ(editor.text(IDC_TIME_DIFF), "-9");
    EXPECT_TRUE(editor.checked(IDC_PASSIVE));
    EXPECT_EQ(escaped(editor.text(IDC_ALLOW_FILES)), escaped("a.txt\r\n" + hyo + ".txt\r\n"));
    editor.click(IDCANCEL);
    ASSERT_TRUE(editor.exits_with(0));
}

TEST(ListsAndPasswords, DoubleBytePasswordRoundTripsByteForByte) {
    // Both kana end in the byte 0x5C, a trap for anything that walks bytes.
    const Bytes password = "パス表ソ日本語pw";
    ASSERT_EQ(password.substr(4, 4), "\x95\x5C\x83\x5C");

    Folder folder;
    const std::string exe = folder.add_editor();
    run_and_ok(exe, [&](Editor& editor) { editor.type(IDC_PASSWORD, password); });
    Values expected = first_start_file(folder.path());
    expected["password"] = scrambled(password);
    ASSERT_EQ(expected["password"].size(), 2 * password.size());
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));

    run_and_ok(exe, [&](Editor& editor) {
        EXPECT_EQ(escaped(editor.text(IDC_PASSWORD)), escaped(password));
    });
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
}

TEST(ListsAndPasswords, AStoredPasswordHolding1AIsSavedBackUnchanged) {
    // Stored as hexadecimal digits, the password may hold the byte that
    // ends a file: it must come back byte for byte after an OK.
    Folder folder;
    Values file = sample_values();
    file["password"] = "37c43e933f";
    ASSERT_EQ(scrambled(Bytes("ab\x1A"
                              "cd")),
              file["password"]);
    folder.write("mabiru.dat", file_of(file));
    run_and_ok(folder.add_editor(), [](Editor& editor) {
        EXPECT_EQ(escaped(editor.text(IDC_PASSWORD)), escaped("ab\x1A"
                                                              "cd"));
    });
    EXPECT_TRUE(same_bytes(folder.read("mabiru.dat").value_or(""), file_of(file)));
}

TEST(ListsAndPasswords, PasswordsOfOddAndEvenLengthFromAFileShowPlain) {
    for (const Bytes password : {"x", "ab", "abc", "Pass word!"}) {
        SCOPED_TRACE("password \"" + password + "\"");
        Folder folder(std::to_string(password.size()));
        Values file = sample_values();
        file["password"] = scrambled(password);
        folder.write("mabiru.dat", file_of(file));
        Editor editor(folder.add_editor());
        ASSERT_TRUE(editor.opened());
        EXPECT_EQ(editor.text(IDC_PASSWORD), password);
        editor.click(IDCANCEL);
        EXPECT_TRUE(editor.exits_with(0));
    }
}

TEST(ListsAndPasswords, AnEmptyPasswordIsStoredEmptyAndShowsEmpty) {
    Folder folder;
    const std::string exe = folder.add_editor();
    run_and_ok(exe, [](Editor& editor) { editor.type(IDC_PASSWORD, ""); });
    Values expected = first_start_file(folder.path());
    expected["password"] = "";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));

    run_and_ok(exe, [](Editor& editor) { EXPECT_EQ(editor.text(IDC_PASSWORD), ""); });
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
}
