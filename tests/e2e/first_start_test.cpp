// The first start: no settings file yet, so the dialog offers the defaults
// and the first OK creates the file.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

using FirstStart = EditorTest;

} // namespace

// Cancel writes nothing; OK writes the fifteen defaults, which come back
// at the next start as they were shown.
TEST_F(FirstStart, EveryControlShowsItsDefaultAndOkWritesTheFifteenThatComeBack) {
    // 8642 folded is 8 2 6 4; xor 0x5D gives 65 6f 6b 69; the digits folded.
    ASSERT_EQ(scrambled("8642"), "69566bf6");
    ASSERT_EQ(file_of(first_start_file(folder.path())).substr(0, 12), "allow_files\x01");
    ASSERT_TRUE(start());
    EXPECT_TRUE(shows(*editor, screen_of(first_start_file(folder.path()), "8642")));
    for (int id : {IDC_HOST, IDC_USER_ID, IDC_PASSWORD, IDC_GHOST_ROOT, IDC_TIME_DIFF, IDC_PASSIVE,
                   IDC_ARCHIVE_FILENAME, IDC_ARCHIVE_FOLDER})
        EXPECT_TRUE(editor->enabled(id)) << "item " << id;
    EXPECT_EQ(folder.names(), std::vector<std::string>{"mabiru-setup.exe"});
    editor->click(IDCANCEL);
    EXPECT_TRUE(editor->exits_with(0));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"mabiru-setup.exe"});

    ASSERT_TRUE(start());
    EXPECT_TRUE(ok_saves(first_start_file(folder.path())));
    EXPECT_EQ(folder.names(), exe_and_settings);
    const Bytes first = settings();
    ASSERT_TRUE(start());
    EXPECT_TRUE(shows(*editor, {{"password", "8642"},
                                {"allow_files", crlf_lines(kAllowFilesDefault)},
                                {"deny_files", crlf_lines(kDenyFilesDefault)},
                                {"archive_local_folder", folder.path()}}));
    editor->click(IDOK);
    ASSERT_TRUE(editor->exits_with(0));
    EXPECT_TRUE(same_bytes(settings(), first));
}

// A save cut off by a crash or a power cut between the two renames of the
// system's replace leaves no settings file: the old settings under the
// backup's name, and the new ones under the temporary file's. The names
// tell them apart, whatever their dates say.
TEST_F(FirstStart, AfterACutOffReplaceTheNewCopyIsShownAndOkPutsItInPlace) {
    const Values newer = with(sample_values(), {{"host", "cut-off.example"}});
    const std::string backup = temp_name(TempKind::backup, now_s() - 5);
    const std::string copy = temp_name(TempKind::replacement, now_s() - 6);
    folder.write(backup, file_of(sample_values()));
    folder.write(copy, file_of(newer));
    folder.set_age(copy, 3 * 24 * 60);
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
    EXPECT_EQ(folder.names(), exe_and_settings);
}

// Deleting mabiru.dat starts over, also where a backup of older settings
// or a part of a cut-off first save lingers: neither is ever shown, and
// both stay, since they may be all that is left of the settings.
TEST_F(FirstStart, WhatIsLeftWithoutNewSettingsGivesTheDefaultsAndStays) {
    const std::string backup = temp_name(TempKind::backup, now_s() - 3 * 24 * 3600);
    const std::string part = temp_name(TempKind::writing, now_s() - 700);
    const Bytes cut = file_of(sample_values()).substr(0, 45);
    folder.write(backup, file_of(sample_values()));
    folder.write(part, cut);
    const std::vector<std::string> left = folder.names();
    ASSERT_TRUE(start());
    EXPECT_TRUE(shows(*editor, screen_of(first_start_file(folder.path()), "8642")));
    editor->click(IDCANCEL);
    ASSERT_TRUE(editor->exits_with(0));
    EXPECT_EQ(folder.names(), left) << "Cancel changed the folder";

    ASSERT_TRUE(start());
    EXPECT_TRUE(ok_saves(first_start_file(folder.path())));
    EXPECT_TRUE(same_bytes(folder.read(backup).value_or(""), file_of(sample_values())));
    EXPECT_TRUE(same_bytes(folder.read(part).value_or(""), cut));
}

// A copy that a save left beside the file when it could not delete it
// never outranks the file written since, by hand or by another tool.
TEST_F(FirstStart, AnOldCopyBesideAFileWrittenSinceIsNeverShown) {
    const std::string copy = temp_name(TempKind::beside, now_s() - 3 * 24 * 3600);
    folder.write(copy, file_of(sample_values()));
    folder.set_age(copy, 3 * 24 * 60);
    const Values edited = with(sample_values(), {{"host", "edited.example"}});
    folder.write("mabiru.dat", file_of(edited));
    ASSERT_TRUE(start());
    EXPECT_EQ(editor->text(IDC_HOST), "edited.example");
    EXPECT_TRUE(ok_saves(edited));
    EXPECT_EQ(folder.names(), exe_and_settings) << "the tidy-up left the stale copy";
}
