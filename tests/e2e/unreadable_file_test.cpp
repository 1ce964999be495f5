// A settings file that is there but cannot be read: the user is told before
// any dialog appears, the editor ends with exit code 1, and the file is
// never replaced by the defaults.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

void expect_load_error(const Box& box, const Folder& folder) {
    EXPECT_EQ(box.caption, "error");
    EXPECT_EQ(escaped(box.text), escaped(load_error_text(folder.path())));
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    EXPECT_FALSE(box.shows_icon);
    EXPECT_EQ(GetWindow(box.window, GW_OWNER), nullptr) << "the box has an owner";
}

// OK on the box ends the editor with 1, and its dialog never shows.
void expect_end_without_dialog(Editor& editor, const Box& box) {
    EXPECT_FALSE(editor.shows_dialog()) << "the setup dialog is shown behind the box";
    ASSERT_TRUE(editor.answer(box, IDOK));
    bool shown = false;
    poll_until(
        [&] {
            shown = shown || editor.shows_dialog();
            return !editor.running();
        },
        kExitTimeoutMs);
    EXPECT_FALSE(shown) << "the setup dialog appeared after the box";
    EXPECT_TRUE(editor.exits_with(1));
}

} // namespace

TEST(UnreadableSettings, AFileHeldByAnotherProgramIsReportedAndNeverReplaced) {
    Folder folder;
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    const std::string exe = folder.add_editor();
    // A backup or a virus scan holds the file and shares it with nobody.
    HeldFile held(folder.file("mabiru.dat"), GENERIC_READ);
    ASSERT_TRUE(held.is_open());

    Editor editor(exe);
    std::optional<Box> box = editor.wait_box();
    ASSERT_TRUE(box) << "no error box while the settings file was held, and the editor "
                     << (editor.shows_dialog() ? "shows its dialog" : "shows nothing");
    expect_load_error(*box, folder);
    expect_end_without_dialog(editor, *box);

    EXPECT_TRUE(same_bytes(held.bytes(), original));
    held.release();
    EXPECT_TRUE(same_bytes(folder.read("mabiru.dat").value_or(""), original));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat"}));
}

TEST(UnreadableSettings, AFolderInThePlaceOfTheFileIsReportedAndStaysAFolder) {
    Folder folder;
    ASSERT_TRUE(CreateDirectoryA(folder.file("mabiru.dat").c_str(), nullptr));
    folder.write("mabiru.dat\\inside.txt", "keep");

    Editor editor(folder.add_editor());
    std::optional<Box> box = editor.wait_box();
    ASSERT_TRUE(box) << "no error box with a folder named mabiru.dat";
    expect_load_error(*box, folder);
    expect_end_without_dialog(editor, *box);

    EXPECT_TRUE(GetFileAttributesA(folder.file("mabiru.dat").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(folder.read("mabiru.dat\\inside.txt"), "keep");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat"}));
}

TEST(UnreadableSettings, AFileHeldForAMomentAtStartShowsTheRealValues) {
    Folder folder;
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    const std::string exe = folder.add_editor();
    HeldFile held(folder.file("mabiru.dat"), GENERIC_READ);
    ASSERT_TRUE(held.is_open());

    Editor editor(exe);
    Sleep(300);
    held.release();
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(editor.text(IDC_HOST), "ftp.example.org");
    EXPECT_EQ(editor.text(IDC_USER_ID), "author");
    EXPECT_EQ(editor.text(IDC_PASSWORD), "s3cret");
    EXPECT_EQ(editor.text(IDC_DENY_FILES), crlf_lines({"ghost/master/save.txt"}));

    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));
    EXPECT_TRUE(same_bytes(folder.read("mabiru.dat").value_or(""), original));
}
