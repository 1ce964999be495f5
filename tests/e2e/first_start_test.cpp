// The first start: no settings file yet, so the dialog offers the defaults
// and the first OK creates the file.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

TEST(FirstStart, WithoutSettingsFileEveryControlShowsItsDefaultAndNothingIsWritten) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());

    EXPECT_TRUE(editor.checked(IDC_UPLOAD));
    EXPECT_EQ(editor.text(IDC_HOST), "127.0.0.1");
    EXPECT_EQ(editor.text(IDC_USER_ID), "test");
    EXPECT_EQ(editor.text(IDC_PASSWORD), "8642");
    EXPECT_EQ(editor.text(IDC_GHOST_ROOT), "homepage/myghost");
    EXPECT_EQ(editor.text(IDC_TIME_DIFF), "0");
    EXPECT_FALSE(editor.checked(IDC_PASSIVE));
    EXPECT_TRUE(editor.checked(IDC_CREATE_ARCHIVE));
    EXPECT_EQ(editor.text(IDC_ARCHIVE_FILENAME), "myghost%year%month%day.nar");
    EXPECT_EQ(escaped(editor.text(IDC_ARCHIVE_FOLDER)), escaped(folder.path()));
    EXPECT_EQ(escaped(editor.text(IDC_ALLOW_FILES)), escaped(crlf_lines(kAllowFilesDefault)));
    EXPECT_EQ(escaped(editor.text(IDC_DENY_FILES)), escaped(crlf_lines(kDenyFilesDefault)));

    for (int id : {IDC_HOST, IDC_USER_ID, IDC_PASSWORD, IDC_GHOST_ROOT, IDC_TIME_DIFF, IDC_PASSIVE,
                   IDC_ARCHIVE_FILENAME, IDC_ARCHIVE_FOLDER})
        EXPECT_TRUE(editor.enabled(id)) << "item " << id;

    EXPECT_EQ(folder.names(), std::vector<std::string>{"mabiru-setup.exe"});
    editor.click(IDCANCEL);
    EXPECT_TRUE(editor.exits_with(0));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"mabiru-setup.exe"});
}

TEST(FirstStart, OkWritesTheFifteenDefaultsInKeyOrderWithListsMarkedAndPasswordScrambled) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));

    // 8642 folded is 8 2 6 4; xor 0x5D gives 65 6f 6b 69; the digits folded.
    ASSERT_EQ(scrambled("8642"), "69566bf6");
    const Bytes expected = file_of(first_start_file(folder.path()));
    ASSERT_EQ(expected.substr(0, 12), "allow_files\x01");
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("(missing)")), escaped(expected));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat"}));
}

TEST(FirstStart, TheSavedDefaultsComeBackAtTheNextStart) {
    Folder folder;
    const std::string exe = folder.add_editor();
    {
        Editor editor(exe);
        ASSERT_TRUE(editor.opened());
        editor.click(IDOK);
        ASSERT_TRUE(editor.exits_with(0));
    }
    const std::optional<Bytes> first = folder.read("mabiru.dat");
    ASSERT_TRUE(first);

    Editor editor(exe);
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(editor.text(IDC_PASSWORD), "8642");
    EXPECT_EQ(escaped(editor.text(IDC_ALLOW_FILES)), escaped(crlf_lines(kAllowFilesDefault)));
    EXPECT_EQ(escaped(editor.text(IDC_DENY_FILES)), escaped(crlf_lines(kDenyFilesDefault)));
    EXPECT_EQ(escaped(editor.text(IDC_ARCHIVE_FOLDER)), escaped(folder.path()));
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(*first));
}

// A save cut off by a crash or a power cut between the two renames of the
// system's replace leaves no settings file: the old settings under a backup
// name, written days ago, and the new ones under the temporary file's name.
TEST(FirstStart, AfterACutOffReplaceTheNewerCopyIsShownAndOkPutsItInPlace) {
    Folder folder;
    const std::string exe = folder.add_editor();
    Values older = sample_values(), newer = sample_values();
    newer["host"] = "cut-off.example";
    const std::string backup = temp_name(TempKind::whole, now_s() - 5);
    const std::string copy = temp_name(TempKind::whole, now_s() - 6);
    folder.write(backup, file_of(older));
    folder.set_age(backup, 3 * 24 * 60);
    folder.write(copy, file_of(newer));
    const std::vector<std::string> left = folder.names();
    {
        Editor editor(exe);
        ASSERT_TRUE(editor.opened());
        EXPECT_EQ(editor.text(IDC_HOST), "cut-off.example");
        EXPECT_EQ(editor.text(IDC_PASSWORD), "s3cret");
        editor.click(IDCANCEL);
        ASSERT_TRUE(editor.exits_with(0));
    }
    EXPECT_EQ(folder.names(), left) << "Cancel changed the folder";
    EXPECT_EQ(folder.read(backup), std::optional<Bytes>(file_of(older)));

    Editor editor(exe);
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(editor.text(IDC_HOST), "cut-off.example");
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));
    EXPECT_TRUE(same_bytes(folder.read("mabiru.dat").value_or(""), file_of(newer)));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat"}));
}

// A first save cut inside a line left part of its temporary file: never
// shown, and kept, since it may be all that is left of the settings.
TEST(FirstStart, APartOfACutOffFirstSaveIsNeverShownAndStays) {
    Folder folder;
    const std::string part = temp_name(TempKind::writing, now_s() - 700);
    const Bytes cut = file_of(sample_values()).substr(0, 45);
    folder.write(part, cut);
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(editor.text(IDC_HOST), "127.0.0.1");
    EXPECT_EQ(escaped(editor.text(IDC_ALLOW_FILES)), escaped(crlf_lines(kAllowFilesDefault)));
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));
    EXPECT_TRUE(same_bytes(folder.read("mabiru.dat").value_or(""),
                           file_of(first_start_file(folder.path()))));
    EXPECT_EQ(folder.read(part), std::optional<Bytes>(cut));
}
