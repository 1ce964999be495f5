// A settings file that cannot be written: the user is told, the dialog stays
// open with everything as it was, and the old file is never damaged.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

void expect_save_error(const Editor& editor, const Box& box, const Folder& folder) {
    EXPECT_EQ(box.caption, "error");
    EXPECT_EQ(escaped(box.text), escaped(save_error_text(folder.path())));
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(box.default_button, IDOK);
    EXPECT_FALSE(box.shows_icon);
    EXPECT_EQ(GetWindow(box.window, GW_OWNER), editor.dialog());
}

} // namespace

TEST(SaveFailure, ReadOnlyFileShowsTheErrorKeepsTheDialogAndTheOldBytesThenSavesOnceWritable) {
    Folder folder;
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    folder.set_read_only("mabiru.dat", true);
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());

    editor.type(IDC_HOST, "new.example");
    editor.type(IDC_ALLOW_FILES, "new.txt\r\n");
    ASSERT_TRUE(editor.toggle(IDC_UPLOAD));
    const Values edited = on_screen(editor);

    editor.click(IDOK);
    std::optional<Box> box = editor.wait_box();
    ASSERT_TRUE(box) << "no error box on a read-only settings file";
    expect_save_error(editor, *box, folder);
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(original));
    ASSERT_TRUE(editor.answer(*box, IDOK));

    // Still open, every field as the user left it, the password still plain.
    EXPECT_TRUE(editor.still_open());
    EXPECT_EQ(on_screen(editor), edited);
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(original));

    // A second try fails the same way.
    editor.click(IDOK);
    box = editor.wait_box();
    ASSERT_TRUE(box);
    expect_save_error(editor, *box, folder);
    ASSERT_TRUE(editor.answer(*box, IDOK));
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(original));

    folder.set_read_only("mabiru.dat", false);
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));
    Values expected = sample_values();
    expected["host"] = "new.example";
    expected["allow_files"] = "new.txt\x02";
    expected["is_upload"] = "0";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat"}));
}

TEST(SaveFailure, FileHeldOpenByAnotherProgramIsLeftIntactAndSavedOnceReleased) {
    Folder folder;
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    editor.type(IDC_USER_ID, "other");

    // Another program has the file open and shares it with nobody.
    HANDLE held = CreateFileA(folder.file("mabiru.dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    editor.click(IDOK);
    std::optional<Box> box = editor.wait_box();
    if (box) {
        expect_save_error(editor, *box, folder);
        EXPECT_TRUE(editor.answer(*box, IDOK));
    } else {
        ADD_FAILURE() << "no error box while the settings file was held open";
    }
    CloseHandle(held);
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(original));
    ASSERT_TRUE(editor.still_open());

    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));
    Values expected = sample_values();
    expected["id"] = "other";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat"}));
}

TEST(SaveFailure, CancelAfterAFailedSaveWritesNothing) {
    Folder folder;
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    folder.set_read_only("mabiru.dat", true);
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    editor.type(IDC_HOST, "changed.example");

    editor.click(IDOK);
    std::optional<Box> box = editor.wait_box();
    ASSERT_TRUE(box);
    ASSERT_TRUE(editor.answer(*box, IDOK));
    folder.set_read_only("mabiru.dat", false);
    editor.click(IDCANCEL);
    ASSERT_TRUE(editor.exits_with(0));
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(original));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat"}));
}
