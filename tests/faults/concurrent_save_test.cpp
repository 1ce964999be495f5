// Two editors open on the same folder, both pressing OK at about the same
// time: the settings file ends as the complete file of one of them, never a
// mix of both or a piece of one.
#include "fault_kit.h"

#include <cstdio>
#include <iterator>

using namespace e2e;
using namespace faults;

namespace {

// How one editor's OK ended.
enum class Outcome { saved, error_box, stuck };

Outcome finish(Editor& editor, const Folder& folder) {
    std::optional<Box> box = editor.wait_box();
    if (!box) {
        const ::testing::AssertionResult ended = editor.exits_with(0);
        EXPECT_TRUE(ended);
        return ended ? Outcome::saved : Outcome::stuck;
    }
    // A save that lost the race may say so; it must then have left the
    // file alone, and the user can still cancel.
    EXPECT_TRUE(answers_save_error(editor, *box, folder.path()));
    editor.click(IDCANCEL);
    EXPECT_TRUE(editor.exits_with(0));
    return Outcome::error_box;
}

} // namespace

TEST(ConcurrentSaving, TwoEditorsPressingOkTogetherLeaveOneCompleteFile) {
    // Milliseconds each editor's save waits before replacing the file: in the
    // rounds with a wait, both new files are ready side by side and both
    // replacements come at nearly the same moment.
    const struct {
        DWORD first;
        DWORD second;
    } rounds[] = {{0, 0},     {0, 0},     {0, 0},     {0, 0},     {40, 0},    {0, 40},
                  {150, 150}, {150, 150}, {150, 150}, {150, 150}, {150, 150}, {150, 150},
                  {300, 300}, {300, 300}, {300, 300}, {300, 300}};

    Folder folder;
    const std::string exe = folder.add_editor();
    Version base = version_of(sample_values(), "s3cret");
    folder.write("mabiru.dat", file_of(base.file));

    int first_won = 0, second_won = 0, error_boxes = 0;
    std::string error_rounds;
    for (int round = 0; round < static_cast<int>(std::size(rounds)); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        auto a = start_editor(exe, rounds[round].first);
        auto b = start_editor(exe, rounds[round].second);
        ASSERT_TRUE(a->opened());
        ASSERT_TRUE(b->opened());
        const std::string n = std::to_string(round);
        // Long lists, so that a file made of pieces of both would show.
        const Version va = type_new_values(*a, base, "first-" + n, 400);
        const Version vb = type_new_values(*b, base, "second-" + n, 300);
        ASSERT_NE(file_of(va.file), file_of(vb.file));

        // Both at once, each round the other one first.
        if (round % 2 == 0) {
            a->click(IDOK);
            b->click(IDOK);
        } else {
            b->click(IDOK);
            a->click(IDOK);
        }
        const Outcome oa = finish(*a, folder);
        const Outcome ob = finish(*b, folder);
        ASSERT_NE(oa, Outcome::stuck);
        ASSERT_NE(ob, Outcome::stuck);
        if (oa == Outcome::error_box || ob == Outcome::error_box) {
            error_boxes += (oa == Outcome::error_box) + (ob == Outcome::error_box);
            error_rounds += " " + n;
        }

        const Bytes now = folder.read("mabiru.dat").value_or("(missing)");
        if (oa == Outcome::saved && now == file_of(va.file)) {
            ++first_won;
            base = va;
        } else if (ob == Outcome::saved && now == file_of(vb.file)) {
            ++second_won;
            base = vb;
        } else if (oa == Outcome::error_box && ob == Outcome::error_box) {
            EXPECT_TRUE(same_bytes(now, file_of(base.file)))
                << "both saves failed, yet the file changed";
        } else {
            ADD_FAILURE() << "the settings file is neither editor's complete file (first: "
                          << same_bytes(now, file_of(va.file)).message()
                          << ")\n(second: " << same_bytes(now, file_of(vb.file)).message() << ")";
            return;
        }
        // Nothing of either save is left lying about.
        EXPECT_EQ(folder.names(), exe_and_settings);
    }

    // The last file opens in a new editor as it was saved.
    Editor check(exe);
    ASSERT_TRUE(check.opened());
    EXPECT_EQ(on_screen(check), base.screen);
    check.click(IDCANCEL);
    EXPECT_TRUE(check.exits_with(0));

    std::printf("[ rounds   ] %d: first editor's file kept %d times, second's %d times; "
                "%d error boxes (rounds:%s)\n",
                static_cast<int>(std::size(rounds)), first_won, second_won, error_boxes,
                error_rounds.empty() ? " none" : error_rounds.c_str());
    RecordProperty("first_won", first_won);
    RecordProperty("second_won", second_won);
    RecordProperty("error_boxes", error_boxes);
}
