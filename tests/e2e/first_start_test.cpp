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
