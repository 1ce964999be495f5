// Starting and ending the program: where it looks for its settings, how
// every way of closing ends it, and that its command line means nothing.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

class ProgramStart : public ::testing::TestWithParam<Way> {};

} // namespace

TEST_P(ProgramStart, EveryWayOfClosingEndsWithExitCodeZero) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    editor.close_by(GetParam());
    EXPECT_TRUE(editor.exits_with(0));
    EXPECT_EQ(folder.exists("mabiru.dat"), GetParam() == Way::Ok);
}

INSTANTIATE_TEST_SUITE_P(Ways, ProgramStart,
                         ::testing::Values(Way::Ok, Way::Cancel, Way::Escape, Way::CloseBox),
                         way_name);

TEST(ProgramStart, ExeInADoubleByteFolderFindsAndWritesItsSettingsBesideItself) {
    // Both names end in a character whose second byte is 0x5C, the backslash.
    ASSERT_EQ(GetACP(), 932u) << "needs the Japanese code page (scripts/wine.sh sets it)";
    const Bytes table = "表", so = "ソ";
    ASSERT_EQ(table, "\x95\x5C");
    ASSERT_EQ(so, "\x83\x5C");

    Folder outer;
    const std::string dir = outer.path() + table + "\\";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    const std::string exe = dir + so + ".exe";
    ASSERT_TRUE(CopyFileA(editor_exe().c_str(), exe.c_str(), FALSE));

    // Started from elsewhere: the folder of the exe counts, not the current one.
    {
        Editor editor(exe, "", outer.path());
        ASSERT_TRUE(editor.opened());
        EXPECT_EQ(escaped(editor.text(IDC_ARCHIVE_FOLDER)), escaped(dir));
        editor.click(IDOK);
        ASSERT_TRUE(editor.exits_with(0));
    }
    std::optional<Bytes> saved = outer.read(table + "\\mabiru.dat");
    ASSERT_TRUE(saved) << "no mabiru.dat beside " << escaped(exe);
    EXPECT_EQ(escaped(*saved), escaped(file_of(first_start_file(dir))));
    EXPECT_EQ(outer.names(), std::vector<std::string>{table});

    // The next start reads that file back from the same place.
    {
        Editor editor(exe, "", outer.path());
        ASSERT_TRUE(editor.opened());
        EXPECT_EQ(escaped(editor.text(IDC_ARCHIVE_FOLDER)), escaped(dir));
        editor.type(IDC_HOST, "again.example");
        editor.click(IDOK);
        ASSERT_TRUE(editor.exits_with(0));
    }
    Values expected = first_start_file(dir);
    expected["host"] = "again.example";
    EXPECT_EQ(escaped(outer.read(table + "\\mabiru.dat").value_or("")), escaped(file_of(expected)));
}

TEST(ProgramStart, AFolderNamedOutsideTheCodePageShowsTheDefaultsAndOkSaysItCannotSave) {
    // Korean letters: the ANSI interfaces spell them '?', and no file can
    // be at such a path, so this is a first start.
    Folder outer;
    const std::wstring dir = wide_path(outer.path()) + L"\uD55C\uAD6D\\";
    // Gone even when the test stops half-way: the ANSI calls cannot remove it.
    struct Removed {
        std::wstring dir;
        ~Removed() { remove_tree(dir); }
    } removed{dir};
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    const std::wstring exe = dir + L"mabiru-setup.exe";
    ASSERT_TRUE(CopyFileW(wide_path(editor_exe()).c_str(), exe.c_str(), FALSE));
    const std::string spelt = outer.path() + "??\\";

    {
        Editor editor(exe);
        ASSERT_TRUE(editor.opened());
        EXPECT_EQ(escaped(editor.text(IDC_ARCHIVE_FOLDER)), escaped(spelt));
        EXPECT_EQ(editor.text(IDC_USER_ID), "test");
        editor.click(IDOK);
        std::optional<Box> box = editor.wait_box();
        ASSERT_TRUE(box) << "no error box, and the editor "
                         << (editor.still_open() ? "is still open" : "has ended");
        EXPECT_TRUE(is_save_error(*box, spelt));
        ASSERT_TRUE(editor.answer(*box, IDOK));
        EXPECT_TRUE(editor.still_open());
        editor.click(IDCANCEL);
        EXPECT_TRUE(editor.exits_with(0));
    }
    EXPECT_EQ(outer.names(), std::vector<std::string>{"??"}) << "a file was written";
    EXPECT_TRUE(DeleteFileW(exe.c_str()));
    EXPECT_TRUE(RemoveDirectoryW(dir.c_str())) << "a file was written beside the exe";
}

TEST(ProgramStart, CommandLineArgumentsChangeNothing) {
    Folder folder, elsewhere("elsewhere");
    const Bytes decoy = lines({{"host", "decoy.example"}, {"id", "decoy"}});
    elsewhere.write("mabiru.dat", decoy);
    elsewhere.write("other.dat", decoy);
    folder.write("mabiru.dat", file_of(sample_values()));
    const std::string exe = folder.add_editor();

    const std::string args = "\"" + elsewhere.file("other.dat") + "\" /reset -h --defaults " +
                             elsewhere.file("mabiru.dat");
    Editor editor(exe, args, elsewhere.path());
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(editor.text(IDC_HOST), "ftp.example.org");
    EXPECT_EQ(editor.text(IDC_USER_ID), "author");
    editor.type(IDC_USER_ID, "someone");
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));

    Values expected = sample_values();
    expected["id"] = "someone";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
    EXPECT_EQ(elsewhere.read("mabiru.dat"), decoy);
    EXPECT_EQ(elsewhere.read("other.dat"), decoy);
    EXPECT_EQ(elsewhere.names(), (std::vector<std::string>{"mabiru.dat", "other.dat"}));
}
