// Leaving without OK: Cancel, Esc and the close box drop every change,
// including the answers to the detailed-settings questions.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

class ClosingWithoutSaving : public ::testing::TestWithParam<Way> {
  protected:
    // Changes every kind of value the dialog holds.
    void edit_everything(Editor& editor) {
        editor.type(IDC_HOST, "edited.example");
        editor.type(IDC_PASSWORD, "edited");
        editor.type(IDC_ALLOW_FILES, "edited.txt\r\n");
        ASSERT_TRUE(editor.toggle(IDC_PASSIVE));
        ASSERT_TRUE(editor.toggle(IDC_CREATE_ARCHIVE));
        ASSERT_TRUE(answer_questions(editor, {IDNO, IDYES, IDNO}));
    }

    ::testing::AssertionResult answer_questions(Editor& editor, const std::vector<int>& answers) {
        editor.click(IDC_DOG);
        for (int answer : answers) {
            std::optional<Box> box = editor.wait_box();
            if (!box)
                return ::testing::AssertionFailure() << "a question did not appear";
            if (::testing::AssertionResult r = editor.answer(*box, answer); !r)
                return r;
        }
        return ::testing::AssertionSuccess();
    }
};

} // namespace

TEST_P(ClosingWithoutSaving, AfterEditsAndAnswersTheFileIsUnchanged) {
    Folder folder;
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    ASSERT_NO_FATAL_FAILURE(edit_everything(editor));
    EXPECT_TRUE(editor.still_open());

    editor.close_by(GetParam());
    ASSERT_TRUE(editor.exits_with(0));
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(original));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat"}));
}

TEST_P(ClosingWithoutSaving, WithoutASettingsFileNoneIsCreated) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    ASSERT_NO_FATAL_FAILURE(edit_everything(editor));

    editor.close_by(GetParam());
    ASSERT_TRUE(editor.exits_with(0));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"mabiru-setup.exe"});
}

INSTANTIATE_TEST_SUITE_P(Ways, ClosingWithoutSaving,
                         ::testing::Values(Way::Cancel, Way::Escape, Way::CloseBox), way_name);
