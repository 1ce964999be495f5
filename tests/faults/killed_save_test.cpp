// The editor killed in the middle of a save, as a crash or a power cut would
// end it: the settings file is always the old or the new file in full, and
// what the killed editors left behind does not trouble the next one.
#include "fault_kit.h"

#include "control_ids.h"
#include "settings/temp_files.h"

#include <algorithm>
#include <cstdio>

using namespace e2e;
using namespace faults;

namespace {

// Long enough to kill the editor inside it reliably, short enough for 20 rounds.
constexpr DWORD kPauseMs = 300;

// When, in one round, the editor is killed.
enum class From { click, temporary_appears, temporary_gone };
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

std::vector<std::string> added(const std::vector<std::string>& now,
                               const std::vector<std::string>& before) {
    std::vector<std::string> out;
    for (const std::string& name : now)
        if (std::find(before.begin(), before.end(), name) == before.end())
            out.push_back(name);
    return out;
}

// Watches the folder closely (the editor is killed right after) until a new
// temporary file shows up, answering its name.
std::string wait_new_temporary(const Folder& folder, const std::vector<std::string>& known,
                               DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    do {
        std::vector<std::string> fresh = added(temporaries(folder.names()), known);
        if (!fresh.empty())
            return fresh.front();
        Sleep(1);
    } while (GetTickCount64() < deadline);
    return "";
}

bool wait_gone(const Folder& folder, const std::string& name, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    do {
        if (!folder.exists(name))
            return true;
        Sleep(1);
    } while (GetTickCount64() < deadline);
    return false;
}

} // namespace

TEST(KilledWhileSaving, SettingsFileIsAlwaysTheOldOrTheNewFileInFull) {
    constexpr int kRounds = 20;
    Folder folder;
    const std::string exe = folder.add_editor();
    Version current = version_of(sample_values(), "s3cret");
    folder.write("mabiru.dat", file_of(current.file));

    int kept_old = 0, kept_old_beside_new = 0, took_new = 0, ended_by_itself = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        auto editor = start_editor(exe, kPauseMs);
        ASSERT_TRUE(editor->opened());
        const Version next =
            type_new_values(*editor, current, "round-" + std::to_string(round), 150 + 10 * round);
        const std::vector<std::string> known = temporaries(folder.names());

        const Moment moment = moment_of(round);
        editor->click(IDOK);
        if (moment.from != From::click) {
            const std::string temporary = wait_new_temporary(folder, known, 5000);
            ASSERT_FALSE(temporary.empty())
                << "no new file appeared beside the settings file within 5 s of OK";
            if (moment.from == From::temporary_gone) {
                ASSERT_TRUE(wait_gone(folder, temporary, 5000))
                    << "the new file never took the old one's place";
            }
        }
        Sleep(moment.wait_ms);
        DWORD code = 0;
        const Ending ending = editor->kill(&code);
        ASSERT_NE(ending, Ending::still_running);

        const Bytes now = folder.read("mabiru.dat").value_or("(missing)");
        const std::vector<std::string> left = added(temporaries(folder.names()), known);
        if (now == file_of(current.file)) {
            EXPECT_EQ(ending, Ending::killed) << "the editor ended by itself without saving";
            ++(left.empty() ? kept_old : kept_old_beside_new);
        } else if (now == file_of(next.file)) {
            ++took_new;
            current = next;
            EXPECT_TRUE(left.empty())
                << "the new file is in place, yet " << left.front() << " was left too";
            if (ending == Ending::ended_by_itself) {
                ++ended_by_itself;
                EXPECT_EQ(code, 0u);
            }
        } else {
            ADD_FAILURE() << "killed " << moment.wait_ms << " ms after "
                          << (moment.from == From::click               ? "OK"
                              : moment.from == From::temporary_appears ? "the new file appeared"
                                                                       : "the new file moved")
                          << ", the settings file is neither the old one ("
                          << same_bytes(now, file_of(current.file)).message()
                          << ")\nnor the new one (" << same_bytes(now, file_of(next.file)).message()
                          << ")";
            return;
        }
    }
    // The rounds that wait on the temporary file make sure the kills hit
    // both sides of the replacement.
    EXPECT_GT(kept_old_beside_new, 0);
    EXPECT_GT(took_new, 0);

    const std::size_t left_by_kills = temporaries(folder.names()).size();

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
    EXPECT_TRUE(same_bytes(folder.read("mabiru.dat").value_or("(missing)"), file_of(last.file)));
    for (const std::string& name : temporaries(folder.names()))
        EXPECT_NE(std::find(stale.begin(), stale.end(), name), stale.end())
            << "the successful save left its own temporary file " << name;

    std::printf("[ rounds   ] %d kills: old file kept %d times with nothing left, %d times "
                "beside a finished new file; new file in place %d times (%d editors had "
                "ended by themselves); %d temporary files left after the last round\n",
                kRounds, kept_old, kept_old_beside_new, took_new, ended_by_itself,
                static_cast<int>(left_by_kills));
    for (const std::string& name : stale)
        std::printf("[ left     ] %s\n", name.c_str());
    RecordProperty("kept_old", kept_old);
    RecordProperty("kept_old_beside_new", kept_old_beside_new);
    RecordProperty("took_new", took_new);
}

TEST(KilledWhileSaving, NextSuccessfulSaveRemovesTheTemporaryFilesOfKilledEditorsOnly) {
    Folder folder;
    const std::string exe = folder.add_editor();
    const Version old = version_of(sample_values(), "s3cret");
    folder.write("mabiru.dat", file_of(old.file));

    // Two editors killed while their new file waited to be put in place.
    for (int i = 0; i < 2; ++i) {
        auto editor = start_editor(exe, 5000);
        ASSERT_TRUE(editor->opened());
        type_new_values(*editor, old, "killed-" + std::to_string(i), 20);
        const std::vector<std::string> known = temporaries(folder.names());
        editor->click(IDOK);
        ASSERT_FALSE(wait_new_temporary(folder, known, 5000).empty())
            << "no new file appeared beside the settings file within 5 s of OK";
        ASSERT_EQ(editor->kill(), Ending::killed);
    }
    const std::vector<std::string> stale = temporaries(folder.names());
    ASSERT_EQ(stale.size(), 2u);
    ASSERT_TRUE(same_bytes(folder.read("mabiru.dat").value_or(""), file_of(old.file)));
    // Provably unused once a save named them a while ago.
    std::vector<std::string> named_long_ago;
    for (const std::string& name : stale)
        named_long_ago.push_back(named_back(folder, name, 11));

    // Files that only look alike belong to someone else, however old.
    const std::vector<std::pair<std::string, Bytes>> others = {
        {"mabiru.dat.bak", "the user's own copy\r\n"}, {"~1f", "no counter\r\n"},
        {"~1f.0.tmp", "another program's\r\n"},        {"~XYZ.0", "not a process id\r\n"},
        {"~123456789.0", "too long for one\r\n"},
    };
    for (const auto& [name, bytes] : others) {
        folder.write(name, bytes);
        folder.set_age(name, 60 * 24);
    }
    // Another editor's save, still writing its new file, stalled for as
    // long: its open handle keeps it.
    const std::string writing = temp_name(TempKind::writing, now_s() - 11 * 60 - 30);
    folder.write(writing, "");
    HeldFile busy(folder.file(writing), GENERIC_WRITE);
    ASSERT_TRUE(busy.is_open());

    auto editor = start_editor(exe);
    ASSERT_TRUE(editor->opened());
    EXPECT_EQ(on_screen(*editor), old.screen);
    const Version saved = type_new_values(*editor, old, "survivor", 20);
    editor->click(IDOK);
    ASSERT_TRUE(editor->exits_with(0));
    EXPECT_TRUE(same_bytes(folder.read("mabiru.dat").value_or(""), file_of(saved.file)));

    const std::vector<std::string> names = folder.names();
    std::vector<std::string> still_there;
    for (const std::string& name : named_long_ago)
        if (std::find(names.begin(), names.end(), name) != names.end())
            still_there.push_back(name);
    EXPECT_TRUE(still_there.empty())
        << "a successful save left " << still_there.size()
        << " temporary files of killed editors in place, e.g. " << still_there.front();

    for (const auto& [name, bytes] : others)
        EXPECT_EQ(folder.read(name), std::optional<Bytes>(bytes)) << name << " was touched";
    EXPECT_TRUE(folder.exists(writing))
        << "the save removed another editor's new file while it was being written";
    busy.release();
}
