// The first start: no settings file yet, so the dialog offers the defaults
// and the first OK creates the file.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

using FirstStart = EditorTest;

} // namespace

TEST_F(FirstStart, WithoutSettingsFileEveryControlShowsItsDefaultAndNothingIsWritten) {
    ASSERT_TRUE(start());
    EXPECT_TRUE(shows(*editor, screen_of(first_start_file(folder.path()), "8642")));
    for (int id : {IDC_HOST, IDC_USER_ID, IDC_PASSWORD, IDC_GHOST_ROOT, IDC_TIME_DIFF, IDC_PASSIVE,
                   IDC_ARCHIVE_FILENAME, IDC_ARCHIVE_FOLDER})
        EXPECT_TRUE(editor->enabled(id)) << "item " << id;

    EXPECT_EQ(folder.names(), std::vector<std::string>{"mabiru-setup.exe"});
    editor->click(IDCANCEL);
    EXPECT_TRUE(editor->exits_with(0));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"mabiru-setup.exe"});
}

TEST_F(FirstStart, OkWritesTheFifteenDefaultsInKeyOrderWithListsMarkedAndPasswordScrambled) {
    // 8642 folded is 8 2 6 4; xor 0x5D gives 65 6f 6b 69; the digits folded.
    ASSERT_EQ(scrambled("8642"), "69566bf6");
    ASSERT_EQ(file_of(first_start_file(folder.path())).substr(0, 12), "allow_files\x01");
    ASSERT_TRUE(start());
    EXPECT_TRUE(ok_saves(first_start_file(folder.path())));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat"}));
}

TEST_F(FirstStart, TheSavedDefaultsComeBackAtTheNextStart) {
    ASSERT_TRUE(start());
    editor->click(IDOK);
    ASSERT_TRUE(editor->exits_with(0));
    const std::optional<Bytes> first = folder.read("mabiru.dat");
    ASSERT_TRUE(first);

    ASSERT_TRUE(start());
    EXPECT_TRUE(shows(*editor, {{"password", "8642"},
                                {"allow_files", crlf_lines(kAllowFilesDefault)},
                                {"deny_files", crlf_lines(kDenyFilesDefault)},
                                {"archive_local_folder", folder.path()}}));
    editor->click(IDOK);
    ASSERT_TRUE(editor->exits_with(0));
    EXPECT_TRUE(same_bytes(settings(), *first));
}

// A save cut off by a crash or a power cut between the two renames of the
// system's replace leaves no settings file: the old settings under a backup
// name, written days ago, and the new ones under the temporary file's name.
TEST_F(FirstStart, AfterACutOffReplaceTheNewerCopyIsShownAndOkPutsItInPlace) {
    const Values newer = with(sample_values(), {{"host", "cut-off.example"}});
    const std::string backup = temp_name(TempKind::whole, now_s() - 5);
    folder.write(backup, file_of(sample_values()));
    folder.set_age(backup, 3 * 24 * 60);
    folder.write(temp_name(TempKind::whole, now_s() - 6), file_of(newer));
    const std::vector<std::string> left = folder.names();
    ASSERT_TRUE(start());
    EXPECT_EQ(editor->text(IDC_HOST), "cut-off.example");
    EXPECT_EQ(editor->text(IDC_PASSWORD), "s3cret");
    editor->click(IDCANCEL);
    ASSERT_TRUE(editor->exits_with(0));
    EXPECT_EQ(folder.names(), left) << "Cancel changed the folder";
    EXPECT_TRUE(same_bytes(folder.read(backup).value_or(""), file_of(sample_values())));

    ASSERT_TRUE(start());
    EXPECT_EQ(editor->text(IDC_HOST), "cut-off.example");
    EXPECT_TRUE(ok_saves(newer));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat"}));
}

// A first save cut inside a line left part of its temporary file: never
// shown, and kept, since it may be all that is left of the settings.
TEST_F(FirstStart, APartOfACutOffFirstSaveIsNeverShownAndStays) {
    const std::string part = temp_name(TempKind::writing, now_s() - 700);
    const Bytes cut = file_of(sample_values()).substr(0, 45);
    folder.write(part, cut);
    ASSERT_TRUE(start());
    EXPECT_EQ(editor->text(IDC_HOST), "127.0.0.1");
    EXPECT_EQ(editor->text(IDC_ALLOW_FILES), crlf_lines(kAllowFilesDefault));
    EXPECT_TRUE(ok_saves(first_start_file(folder.path())));
    EXPECT_TRUE(same_bytes(folder.read(part).value_or(""), cut));
}
