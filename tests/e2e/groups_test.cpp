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

} // namespace

TEST(GroupEnabling, StoredOffFlagsOpenWithTheirGroupsDisabledButFilled) {
    Folder folder;
    Values file = sample_values();
    file["is_upload"] = "0";
    file["is_create_archive"] = "0";
    folder.write("mabiru.dat", file_of(file));
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());

    EXPECT_FALSE(editor.checked(IDC_UPLOAD));
    EXPECT_FALSE(editor.checked(IDC_CREATE_ARCHIVE));
    EXPECT_EQ(enabled_of(editor, kUploadGroup), std::vector<int>{});
    EXPECT_EQ(enabled_of(editor, kArchiveGroup), std::vector<int>{});
    EXPECT_EQ(enabled_of(editor, kAlwaysOn), kAlwaysOn);
    EXPECT_EQ(editor.text(IDC_HOST), "ftp.example.org");
    EXPECT_EQ(editor.text(IDC_PASSWORD), "s3cret");
    EXPECT_TRUE(editor.checked(IDC_PASSIVE));
    EXPECT_EQ(editor.text(IDC_ARCHIVE_FILENAME), "sample%year4.zip");

    // Switched off, the values still go to the file as they stand.
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(file)));
}

TEST(GroupEnabling, ClickingTheCheckBoxesSwitchesOnlyTheirOwnGroupAndKeepsContents) {
    Folder folder;
    folder.write("mabiru.dat", file_of(sample_values()));
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    const Values before = on_screen(editor);

    ASSERT_TRUE(editor.toggle(IDC_UPLOAD));
    EXPECT_FALSE(editor.checked(IDC_UPLOAD));
    EXPECT_EQ(enabled_of(editor, kUploadGroup), std::vector<int>{});
    EXPECT_EQ(enabled_of(editor, kArchiveGroup), kArchiveGroup);

    ASSERT_TRUE(editor.toggle(IDC_CREATE_ARCHIVE));
    EXPECT_EQ(enabled_of(editor, kArchiveGroup), std::vector<int>{});
    EXPECT_EQ(enabled_of(editor, kAlwaysOn), kAlwaysOn);

    Values off = before;
    off["is_upload"] = off["is_create_archive"] = "0";
    EXPECT_EQ(on_screen(editor), off);

    ASSERT_TRUE(editor.toggle(IDC_UPLOAD));
    ASSERT_TRUE(editor.toggle(IDC_CREATE_ARCHIVE));
    EXPECT_EQ(enabled_of(editor, kUploadGroup), kUploadGroup);
    EXPECT_EQ(enabled_of(editor, kArchiveGroup), kArchiveGroup);
    EXPECT_EQ(on_screen(editor), before);

    editor.click(IDCANCEL);
    EXPECT_TRUE(editor.exits_with(0));
}

TEST(GroupEnabling, FieldsEditedAndThenSwitchedOffAreSavedWithTheFlagsOff) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    editor.type(IDC_HOST, "ftp.example.net");
    editor.type(IDC_PASSWORD, "pw");
    ASSERT_TRUE(editor.toggle(IDC_PASSIVE));
    editor.type(IDC_ARCHIVE_FILENAME, "ghost.zip");
    ASSERT_TRUE(editor.toggle(IDC_UPLOAD));
    ASSERT_TRUE(editor.toggle(IDC_CREATE_ARCHIVE));
    EXPECT_TRUE(editor.checked(IDC_PASSIVE));
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));

    Values expected = first_start_file(folder.path());
    expected["host"] = "ftp.example.net";
    expected["password"] = scrambled("pw");
    expected["is_passive"] = "1";
    expected["archive_filename"] = "ghost.zip";
    expected["is_upload"] = "0";
    expected["is_create_archive"] = "0";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
}

TEST(GroupEnabling, PassiveModeBoxTogglesAloneAndIsSaved) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    ASSERT_TRUE(editor.toggle(IDC_PASSIVE));
    EXPECT_TRUE(editor.checked(IDC_PASSIVE));
    EXPECT_EQ(enabled_of(editor, kUploadGroup), kUploadGroup);
    EXPECT_FALSE(editor.wait_box(300)) << "the passive-mode box opened a message box";
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));

    Values expected = first_start_file(folder.path());
    expected["is_passive"] = "1";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
}
