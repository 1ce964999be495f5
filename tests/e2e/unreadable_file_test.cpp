// A settings file that is there but cannot be read: the user is told before
// any dialog appears, the editor ends with exit code 1, and the file is
// never replaced by the defaults.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

class UnreadableSettings : public EditorTest {
  protected:
    // Starts the editor, which tells the user it cannot read its settings
    // before any dialog appears; OK on that box ends it with exit code 1.
    void start_and_expect_refusal(const char* what) {
        editor.emplace(exe);
        const std::optional<Box> box = editor->wait_box();
        ASSERT_TRUE(box) << "no error box with " << what << ", and the editor "
                         << (editor->shows_dialog() ? "shows its dialog" : "shows nothing");
        EXPECT_EQ(box->caption, "error");
        EXPECT_EQ(box->text, load_error_text(folder.path()));
        EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
        EXPECT_FALSE(box->shows_icon);
        EXPECT_EQ(GetWindow(box->window, GW_OWNER), nullptr) << "the box has an owner";
        EXPECT_FALSE(editor->shows_dialog()) << "the setup dialog is shown behind the box";
        ASSERT_TRUE(editor->answer(*box, IDOK));
        bool shown = false;
        poll_until(
            [&] {
                shown = shown || editor->shows_dialog();
                return !editor->running();
            },
            kExitTimeoutMs);
        EXPECT_FALSE(shown) << "the setup dialog appeared after the box";
        EXPECT_TRUE(editor->exits_with(1));
        EXPECT_EQ(folder.names(), exe_and_settings);
    }
};

} // namespace

TEST_F(UnreadableSettings, AFileHeldByAnotherProgramIsReportedAndNeverReplaced) {
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    // A backup or a virus scan holds the file and shares it with nobody.
    HeldFile held(folder.file("mabiru.dat"), GENERIC_READ);
    ASSERT_TRUE(held.is_open());
    start_and_expect_refusal("the settings file held");
    EXPECT_TRUE(same_bytes(held.bytes(), original));
    held.release();
    EXPECT_TRUE(same_bytes(settings(), original));
}

TEST_F(UnreadableSettings, AFolderInThePlaceOfTheFileIsReportedAndStaysAFolder) {
    ASSERT_TRUE(CreateDirectoryA(folder.file("mabiru.dat").c_str(), nullptr));
    folder.write("mabiru.dat\\inside.txt", "keep");
    start_and_expect_refusal("a folder named mabiru.dat");
    EXPECT_TRUE(GetFileAttributesA(folder.file("mabiru.dat").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(folder.read("mabiru.dat\\inside.txt"), "keep");
}

TEST_F(UnreadableSettings, AFileHeldForAMomentAtStartShowsTheRealValues) {
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    HeldFile held(folder.file("mabiru.dat"), GENERIC_READ);
    ASSERT_TRUE(held.is_open());

    editor.emplace(exe);
    Sleep(300);
    held.release();
    ASSERT_TRUE(editor->opened());
    EXPECT_TRUE(shows(*editor, {{"host", "ftp.example.org"},
                                {"id", "author"},
                                {"password", "s3cret"},
                                {"deny_files", crlf_lines({"ghost/master/save.txt"})}}));
    EXPECT_TRUE(ok_saves(sample_values()));
}
