// Leaving without OK: Cancel, Esc and the close box drop every change,
// including the answers to the detailed-settings questions.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

class ClosingWithoutSaving : public EditorTestWithParam<Way> {
  protected:
    // Changes every kind of value the dialog holds; the questions offer
    // `defaults` and are answered otherwise where they can be.
    void edit_everything(const Answers& defaults) {
        type(*editor, {{"host", "edited.example"},
                       {"password", "edited"},
                       {"allow_files", "edited.txt\r\n"}});
        ASSERT_TRUE(editor->toggle(IDC_PASSIVE));
        ASSERT_TRUE(editor->toggle(IDC_CREATE_ARCHIVE));
        EXPECT_EQ(ask(*editor, {IDNO, IDYES, IDNO}), defaults);
    }
};

} // namespace

TEST_P(ClosingWithoutSaving, AfterEditsAndAnswersTheFileIsUnchanged) {
    const Bytes original = file_of(sample_values());
    ASSERT_TRUE(open_bytes(original));
    // The sample has morelog 1, yeardiff 0, dog 1: the answers are the opposite.
    ASSERT_NO_FATAL_FAILURE(edit_everything({IDYES, IDNO, IDYES}));
    EXPECT_TRUE(editor->still_open());

    editor->close_by(GetParam());
    ASSERT_TRUE(editor->exits_with(0));
    EXPECT_TRUE(same_bytes(settings(), original));
    EXPECT_EQ(folder.names(), exe_and_settings);
}

TEST_P(ClosingWithoutSaving, WithoutASettingsFileNoneIsCreated) {
    ASSERT_TRUE(start());
    ASSERT_NO_FATAL_FAILURE(edit_everything({IDNO, IDNO, IDYES}));

    editor->close_by(GetParam());
    ASSERT_TRUE(editor->exits_with(0));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"mabiru-setup.exe"});
}

INSTANTIATE_TEST_SUITE_P(Ways, ClosingWithoutSaving,
                         ::testing::Values(Way::Cancel, Way::Escape, Way::CloseBox), way_name);
