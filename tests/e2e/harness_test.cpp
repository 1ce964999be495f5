// The harness's own file handling, where a race with another program would
// make an end-to-end test fail at random instead of for a reason, a failed
// run would break the next, or a fault in the editor would hide from view.
#include "harness.h"
#include "settings/temp_files.h"
#include "settings_bytes.h"

using namespace e2e;

TEST(Harness, ReadsAFileJustRenamedIntoPlaceWhileTheMoverStillHoldsIt) {
    Folder folder;
    folder.write("url.part", "https://example.org/");
    // A rename needs delete access; the mover may still hold that handle
    // when the new name appears.
    HANDLE mover = CreateFileA(folder.file("url.part").c_str(), DELETE | GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(mover, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(MoveFileExA(folder.file("url.part").c_str(), folder.file("url.txt").c_str(), 0));
    EXPECT_EQ(folder.read("url.txt"), "https://example.org/");
    CloseHandle(mover);
}

TEST(Harness, AFolderStartsEmptyWhateverAFailedRunLeftInIt) {
    Folder left("again");
    // Names the ANSI code page cannot spell, read-only files and folders.
    const std::wstring korean = wide_path(left.path()) + L"\uD55C\uAD6D\\";
    ASSERT_TRUE(CreateDirectoryW(korean.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((korean + L"deeper").c_str(), nullptr));
    for (const std::wstring& name : {korean + L"\uD55C.exe", korean + L"deeper\\mabiru.dat"}) {
        const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_READONLY, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    ASSERT_TRUE(SetFileAttributesW((korean + L"deeper").c_str(), FILE_ATTRIBUTE_READONLY));
    left.write("mabiru.dat", "left");
    left.set_read_only("mabiru.dat", true);

    const Folder again("again");
    EXPECT_EQ(again.path(), left.path());
    EXPECT_EQ(again.names(), std::vector<std::string>{});
    EXPECT_EQ(GetFileAttributesW(korean.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Harness, KnowsTheTemporaryFilesByTheirDocumentedShape) {
    // The last two characters check the five before them; the harness
    // leaves that check to the editor and goes by the shape alone.
    // clang-format off
    const std::vector<std::string> names = {
        "~mb", "~mb000000", "~mb0000000", "~mbzzzzzzz", "~mbab12cd3", "~mb00000000", "~MB0000000",
        "~mbABCDEFG", "~mb00000-0", "~mb000000.", "x~mb000000", "~mabiru.1", "mabiru.dat",
        "~mb\x83\x5C\x83\x5C\x83\x5C" "a", "~mb0000000.tmp", "~mw0000000", "~mk0a1b2c3",
        "~mizzzzzzz", "~mo1234567", "~mx0000000"};
    // clang-format on
    EXPECT_EQ(temporaries(names),
              (std::vector<std::string>{"~mb0000000", "~mbzzzzzzz", "~mbab12cd3", "~mw0000000",
                                        "~mk0a1b2c3", "~mizzzzzzz", "~mo1234567"}));

    // Every name the editor gives has that shape.
    for (const TempKind kind :
         {TempKind::writing, TempKind::replacement, TempKind::beside, TempKind::backup})
        for (long long at = 1700000000; at < 1700000000 + 40 * 86399; at += 86399) {
            const std::string name = temp_name(kind, at);
            EXPECT_EQ(temporaries({name}), std::vector<std::string>{name});
        }
}

TEST(Harness, WritesTheKeysInByteOrder) {
    // Spelled out: ASCII upper case first, then lower case, then the kanji.
    const Bytes file =
        file_of({{"a", "1"}, {"B", "first"}, {"Host", "2"}, {"zz\x02", "3"}, {"表示", "last"}});
    const Bytes last = "表示\x01"
                       "last\r\n";
    EXPECT_EQ(file.substr(0, 2), "B\x01");
    EXPECT_EQ(file.substr(file.size() - last.size()), last);
}
