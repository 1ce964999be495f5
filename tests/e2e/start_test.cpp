// Starting and ending the program: where it looks for its settings, how
// every way of closing ends it, and that its command line means nothing.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

using ProgramStart = EditorTestWithParam<Way>;

} // namespace

TEST_P(ProgramStart, EveryWayOfClosingEndsWithExitCodeZero) {
    ASSERT_TRUE(start());
    editor->close_by(GetParam());
    EXPECT_TRUE(editor->exits_with(0));
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
        EXPECT_EQ(editor.text(IDC_ARCHIVE_FOLDER), dir);
        EXPECT_TRUE(ok_saves(editor, dir + "mabiru.dat", first_start_file(dir)))
            << "the settings beside " << escaped(exe);
    }
    EXPECT_EQ(outer.names(), std::vector<std::string>{table});

    // The next start reads that file back from the same place.
    {
        Editor editor(exe, "", outer.path());
        ASSERT_TRUE(editor.opened());
        EXPECT_EQ(editor.text(IDC_ARCHIVE_FOLDER), dir);
        editor.type(IDC_HOST, "again.example");
        EXPECT_TRUE(ok_saves(editor, dir + "mabiru.dat",
                             with(first_start_file(dir), {{"host", "again.example"}})));
    }
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
        EXPECT_TRUE(shows(editor, {{"archive_local_folder", spelt}, {"id", "test"}}));
        ASSERT_TRUE(ok_cannot_save(editor, spelt));
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
    EXPECT_TRUE(shows(editor, {{"host", "ftp.example.org"}, {"id", "author"}}));
    editor.type(IDC_USER_ID, "someone");
    EXPECT_TRUE(
        ok_saves(editor, folder.file("mabiru.dat"), with(sample_values(), {{"id", "someone"}})));
    for (const char* name : {"mabiru.dat", "other.dat"})
        EXPECT_TRUE(same_bytes(elsewhere.read(name).value_or("(missing)"), decoy)) << name;
    EXPECT_EQ(elsewhere.names(), (std::vector<std::string>{"mabiru.dat", "other.dat"}));
}
