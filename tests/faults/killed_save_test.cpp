// The editor killed in the middle of a save, as a crash would end it: the
// settings file is always the old or the new file in full, and what the
// killed editors left behind does not trouble the next one.
#include "fault_kit.h"

#include "control_ids.h"
#include "settings/temp_files.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

using namespace e2e;
using namespace faults;

namespace {

// Long enough to kill the editor inside it reliably, short enough for 20 rounds.
constexpr DWORD kPauseMs = 300;

// When, in one round, the editor is killed: so long after OK, after its new
// file appeared beside the settings file, or after that file took the
// settings file's place.
enum class From { click, temporary_appears, temporary_gone };
const char* const after[] = {"OK", "the new file appeared", "the new file moved"};
struct Moment {
    From from;
    DWORD wait_ms;
};

Moment moment_of(int round) {
    switch (round % 4) {
    case 0: // before the save, while it writes, or in its pause
        return {From::click, static_cast<DWORD>(round) * 10};
    case 1: // while the finished new file waits beside the old one
        return {From::temporary_appears, static_cast<DWORD>(round * 37 % 200)};
    case 2: // about the moment the new file takes the old one's place
        return {From::temporary_appears, kPauseMs - 40 + static_cast<DWORD>(round * 7 % 80)};
    default: // just after it has, while the editor closes
        return {From::temporary_gone, static_cast<DWORD>(round % 3) * 5};
    }
}

// How the kills fell, for the report.
struct Tally {
    int kept_old = 0, kept_old_beside_new = 0, took_new = 0, ended_by_itself = 0;

    void report(int rounds, std::size_t left_by_kills) const {
        std::printf("[ rounds   ] %d kills: old file kept %d times with nothing left, %d times "
                    "beside a finished new file; new file in place %d times (%d editors had "
                    "ended by themselves); %d temporary files left after the last round\n",
                    rounds, kept_old, kept_old_beside_new, took_new, ended_by_itself,
                    static_cast<int>(left_by_kills));
        ::testing::Test::RecordProperty("kept_old", kept_old);
        ::testing::Test::RecordProperty("kept_old_beside_new", kept_old_beside_new);
        ::testing::Test::RecordProperty("took_new", took_new);
    }
};

// A folder with the editor and a settings file, and the editors' saves in it.
class KilledWhileSaving : public ::testing::Test {
  protected:
    void SetUp() override { folder.write("mabiru.dat", file_of(current.file)); }

    Bytes settings() const { return folder.read("mabiru.dat").value_or("(missing)"); }
    // The temporary files that have come since `known` was taken.
    std::vector<std::string> temporaries_since(const std::vector<std::string>& known) const {
        const std::vector<std::string> now = temporaries(folder.names());
        std::vector<std::string> since;
        std::set_difference(now.begin(), now.end(), known.begin(), known.end(),
                            std::back_inserter(since));
        return since;
    }

    // Clicks OK and waits for the moment to kill the editor: watches the
    // folder for the save's new file, and for it to be gone, as `moment`
    // asks, then waits its milliseconds.
    ::testing::AssertionResult ok_until(Editor& editor, const Moment& moment,
                                        const std::vector<std::string>& known) const {
        editor.click(IDOK);
        std::string temporary;
        const auto appeared = [&] {
            const std::vector<std::string> fresh = temporaries_since(known);
            temporary = fresh.empty() ? "" : fresh.front();
            return !temporary.empty();
        };
        if (moment.from != From::click && !poll_until(appeared, 5000))
            return ::testing::AssertionFailure()
                   << "no new file appeared beside the settings file within 5 s of OK";
        if (moment.from == From::temporary_gone &&
            !poll_until([&] { return !folder.exists(temporary); }, 5000))
            return ::testing::AssertionFailure() << "the new file never took the old one's place";
        Sleep(moment.wait_ms);
        return ::testing::AssertionSuccess();
    }

    Folder folder;
    const std::string exe = folder.add_editor();
    Version current = version_of(sample_values(), "s3cret");
};

} // namespace

TEST_F(KilledWhileSaving, SettingsFileIsAlwaysTheOldOrTheNewFileInFull) {
    constexpr int kRounds = 20;
    Tally tally;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        auto editor = start_editor(exe, kPauseMs);
        ASSERT_TRUE(editor->opened());
        const Version next =
            type_new_values(*editor, current, "round-" + std::to_string(round), 150 + 10 * round);
        const std::vector<std::string> known = temporaries(folder.names());
        const Moment moment = moment_of(round);
        ASSERT_TRUE(ok_until(*editor, moment, known));
        DWORD code = 0;
        const Ending ending = editor->kill(&code);
        ASSERT_NE(ending, Ending::still_running);

        const Bytes now = settings();
        const std::vector<std::string> left = temporaries_since(known);
        if (now == file_of(current.file)) {
            EXPECT_EQ(ending, Ending::killed) << "the editor ended by itself without saving";
            ++(left.empty() ? tally.kept_old : tally.kept_old_beside_new);
        } else if (now == file_of(next.file)) {
            ++tally.took_new;
            current = next;
            EXPECT_TRUE(left.empty())
                << "the new file is in place, yet " << left.front() << " was left too";
            if (ending == Ending::ended_by_itself) {
                ++tally.ended_by_itself;
                EXPECT_EQ(code, 0u);
            }
        } else {
            FAIL() << "killed " << moment.wait_ms << " ms after "
                   << after[static_cast<int>(moment.from)]
                   << ", the settings file is neither the old one ("
                   << same_bytes(now, file_of(current.file)).message() << ")\nnor the new one ("
                   << same_bytes(now, file_of(next.file)).message() << ")";
        }
    }
    // The rounds that wait on the temporary file make sure the kills hit
    // both sides of the replacement.
    EXPECT_GT(tally.kept_old_beside_new, 0);
    EXPECT_GT(tally.took_new, 0);
    tally.report(kRounds, temporaries(folder.names()).size());

    // A new editor in the same folder, among the leftovers, loads the last
    // complete file and saves.
    auto editor = start_editor(exe);
    ASSERT_TRUE(editor->opened());
    EXPECT_EQ(on_screen(*editor), current.screen);
    // Leftovers may carry the names that this editor would pick first.
    for (long long at = now_s(); at < now_s() + 3; ++at)
        folder.write(temp_name(TempKind::writing, at), file_of(current.file).substr(0, 100));
    const std::vector<std::string> stale = temporaries(folder.names());
    const Version last = type_new_values(*editor, current, "after-the-crashes", 50);
    editor->click(IDOK);
    ASSERT_TRUE(editor->exits_with(0));
    EXPECT_TRUE(same_bytes(settings(), file_of(last.file)));
    const std::vector<std::string> own = temporaries_since(stale);
    EXPECT_TRUE(own.empty()) << "the successful save left its own temporary file " << own.front();
    for (const std::string& name : stale)
        std::printf("[ left     ] %s\n", name.c_str());
}
