// The upload and archive check boxes switch their groups of fields on and
// off; switched-off fields keep and save what they hold.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

const std::vector<int> kUploadGroup = {IDC_HOST,       IDC_USER_ID,   IDC_PASSWORD,
                                       IDC_GHOST_ROOT, IDC_TIME_DIFF, IDC_PASSIVE};
const std::vector<int> kArchiveGroup = {IDC_ARCHIVE_FILENAME, IDC_ARCHIVE_FOLDER};
// Never switched off by either box.
const std::vector<int> kAlwaysOn = {
    IDC_UPLOAD,       IDC_CREATE_ARCHIVE, IDC_ALLOW_FILES, IDC_DENY_FILES, IDC_UPLOAD_HELP,
    IDC_ARCHIVE_HELP, IDC_FILES_HELP,     IDC_ABOUT,       IDC_DOG,        IDOK,
    IDCANCEL};

std::vector<int> enabled_of(const Editor& editor, const std::vector<int>& ids) {
    std::vector<int> out;
    for (int id : ids)
        if (editor.enabled(id))
            out.push_back(id);
    return out;
}

using GroupEnabling = EditorTest;

} // namespace

TEST_F(GroupEnabling, StoredOffFlagsOpenWithTheirGroupsDisabledButFilled) {
    const Values file = with(sample_values(), {{"is_upload", "0"}, {"is_create_archive", "0"}});
    ASSERT_TRUE(open(file));
    EXPECT_EQ(enabled_of(*editor, kUploadGroup), std::vector<int>{});
    EXPECT_EQ(enabled_of(*editor, kArchiveGroup), std::vector<int>{});
    EXPECT_EQ(enabled_of(*editor, kAlwaysOn), kAlwaysOn);
    EXPECT_TRUE(shows(*editor, {{"is_upload", "0"},
                                {"is_create_archive", "0"},
                                {"host", "ftp.example.org"},
                                {"password", "s3cret"},
                                {"is_passive", "1"},
                                {"archive_filename", "sample%year4.zip"}}));
    // Switched off, the values still go to the file as they stand.
    EXPECT_TRUE(ok_saves(file));
}

TEST_F(GroupEnabling, ClickingTheCheckBoxesSwitchesOnlyTheirOwnGroupAndKeepsContents) {
    ASSERT_TRUE(open(sample_values()));
    const Values before = on_screen(*editor);

    ASSERT_TRUE(editor->toggle(IDC_UPLOAD));
    EXPECT_FALSE(editor->checked(IDC_UPLOAD));
    EXPECT_EQ(enabled_of(*editor, kUploadGroup), std::vector<int>{});
    EXPECT_EQ(enabled_of(*editor, kArchiveGroup), kArchiveGroup);

    ASSERT_TRUE(editor->toggle(IDC_CREATE_ARCHIVE));
    EXPECT_EQ(enabled_of(*editor, kArchiveGroup), std::vector<int>{});
    EXPECT_EQ(enabled_of(*editor, kAlwaysOn), kAlwaysOn);
    EXPECT_EQ(on_screen(*editor), with(before, {{"is_upload", "0"}, {"is_create_archive", "0"}}));

    ASSERT_TRUE(editor->toggle(IDC_UPLOAD));
    ASSERT_TRUE(editor->toggle(IDC_CREATE_ARCHIVE));
    EXPECT_EQ(enabled_of(*editor, kUploadGroup), kUploadGroup);
    EXPECT_EQ(enabled_of(*editor, kArchiveGroup), kArchiveGroup);
    EXPECT_EQ(on_screen(*editor), before);

    editor->click(IDCANCEL);
    EXPECT_TRUE(editor->exits_with(0));
}

TEST_F(GroupEnabling, FieldsEditedAndThenSwitchedOffAreSavedWithTheFlagsOff) {
    ASSERT_TRUE(start());
    type(*editor,
         {{"host", "ftp.example.net"}, {"password", "pw"}, {"archive_filename", "ghost.zip"}});
    ASSERT_TRUE(editor->toggle(IDC_PASSIVE));
    ASSERT_TRUE(editor->toggle(IDC_UPLOAD));
    ASSERT_TRUE(editor->toggle(IDC_CREATE_ARCHIVE));
    EXPECT_TRUE(editor->checked(IDC_PASSIVE));
    EXPECT_TRUE(ok_saves(with(first_start_file(folder.path()), {{"host", "ftp.example.net"},
                                                                {"password", scrambled("pw")},
                                                                {"is_passive", "1"},
                                                                {"archive_filename", "ghost.zip"},
                                                                {"is_upload", "0"},
                                                                {"is_create_archive", "0"}})));
}

TEST_F(GroupEnabling, PassiveModeBoxTogglesAloneAndIsSaved) {
    ASSERT_TRUE(start());
    ASSERT_TRUE(editor->toggle(IDC_PASSIVE));
    EXPECT_TRUE(editor->checked(IDC_PASSIVE));
    EXPECT_EQ(enabled_of(*editor, kUploadGroup), kUploadGroup);
    EXPECT_FALSE(editor->wait_box(300)) << "the passive-mode box opened a message box";
    EXPECT_TRUE(ok_saves(with(first_start_file(folder.path()), {{"is_passive", "1"}})));
}
