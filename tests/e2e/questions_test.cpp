// The "犬" button: three yes/no questions that set morelog, yeardiff and
// dog. The current value picks the default button; OK keeps the answers.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

const std::vector<Bytes> kQuestions = {
    "経過を細かく表示しますか？",
    "リモート日時が１年遅れてたりしますか？",
    "犬は好きですか？",
};

// Presses the dog button and answers the three questions in turn; returns
// the default button each question offered (0 where a box did not appear).
std::vector<int> ask(const Editor& editor, const std::vector<int>& answers) {
    std::vector<int> defaults;
    editor.click(IDC_DOG);
    for (size_t i = 0; i < answers.size(); ++i) {
        std::optional<Box> box = editor.wait_box();
        if (!box) {
            ADD_FAILURE() << "question " << i + 1 << " did not appear";
            defaults.push_back(0);
            continue;
        }
        SCOPED_TRACE("question " + std::to_string(i + 1));
        EXPECT_EQ(box->caption, "詳しい設定");
        EXPECT_EQ(escaped(box->text), escaped(kQuestions[i]));
        EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO}));
        EXPECT_FALSE(box->shows_icon);
        EXPECT_EQ(GetWindow(box->window, GW_OWNER), editor.dialog());
        defaults.push_back(box->default_button);
        EXPECT_TRUE(editor.answer(*box, answers[i]));
    }
    // Always all three, then nothing more.
    EXPECT_FALSE(editor.wait_box(300)) << "a fourth box appeared";
    return defaults;
}

using Defaults = std::vector<int>;

} // namespace

TEST(DetailedSettings, FirstStartOffersNoNoYesAndOkStoresTheAnswers) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(ask(editor, {IDYES, IDYES, IDNO}), (Defaults{IDNO, IDNO, IDYES}));
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));

    Values expected = first_start_file(folder.path());
    expected["morelog"] = "1";
    expected["yeardiff"] = "1";
    expected["dog"] = "0";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
}

TEST(DetailedSettings, FileWithoutTheThreeKeysOffersYesForAll) {
    Folder folder;
    Values file = sample_values();
    file.erase("morelog");
    file.erase("yeardiff");
    file.erase("dog");
    folder.write("mabiru.dat", file_of(file));
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(ask(editor, {IDYES, IDNO, IDYES}), (Defaults{IDYES, IDYES, IDYES}));
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));

    file["morelog"] = "1";
    file["yeardiff"] = "0";
    file["dog"] = "1";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(file)));
}

TEST(DetailedSettings, OnlyAnExactZeroMakesNoTheDefaultAndAnswersReplaceAnyOldValue) {
    struct Case {
        Bytes morelog, yeardiff, dog;
        Defaults offered;
    };
    const std::vector<Case> cases = {
        {"0", "00", "1", {IDNO, IDYES, IDYES}},
        {"0 ", "yes", "0", {IDYES, IDYES, IDNO}},
        {" 0", "0", "o", {IDYES, IDNO, IDYES}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("stored \"" + escaped(c.morelog) + "\", \"" + escaped(c.yeardiff) + "\", \"" +
                     escaped(c.dog) + "\"");
        Folder folder(std::to_string(&c - cases.data()));
        Values file = sample_values();
        file["morelog"] = c.morelog;
        file["yeardiff"] = c.yeardiff;
        file["dog"] = c.dog;
        folder.write("mabiru.dat", file_of(file));
        Editor editor(folder.add_editor());
        ASSERT_TRUE(editor.opened());
        EXPECT_EQ(ask(editor, {IDNO, IDYES, IDNO}), c.offered);
        editor.click(IDOK);
        ASSERT_TRUE(editor.exits_with(0));

        file["morelog"] = "0";
        file["yeardiff"] = "1";
        file["dog"] = "0";
        EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(file)));
    }
}

TEST(DetailedSettings, AskingAgainOffersTheFirstAnswersAndTheLastAnswersCount) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(ask(editor, {IDYES, IDYES, IDNO}), (Defaults{IDNO, IDNO, IDYES}));
    EXPECT_EQ(ask(editor, {IDYES, IDNO, IDNO}), (Defaults{IDYES, IDYES, IDNO}));
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));

    Values expected = first_start_file(folder.path());
    expected["morelog"] = "1";
    expected["yeardiff"] = "0";
    expected["dog"] = "0";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
}

TEST(DetailedSettings, CancelDropsTheAnswers) {
    Folder folder;
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    // The sample has morelog 1, yeardiff 0, dog 1: answer the opposite.
    EXPECT_EQ(ask(editor, {IDNO, IDYES, IDNO}), (Defaults{IDYES, IDNO, IDYES}));
    editor.click(IDCANCEL);
    ASSERT_TRUE(editor.exits_with(0));
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(original));
}
