// Every call that a save makes of the system fails, in every way the system
// documents for it, alone and then together with every later call; after
// each run the folder must hold a settings file that reads as exactly the
// old settings or exactly the new ones, and the save must say it failed
// whenever the file is not exactly the new one.
#include "fake_platform.h"

#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using fake::Call;
using fake::Failure;
using fake::Outcome;

namespace {

const std::string sep = "\x01";
const std::string folder = "C:\\pub\\";
// As the editor builds it, with a second backslash.
const std::string target = "C:\\pub\\\\mabiru.dat";
const std::string linked_file = "C:\\real\\real.dat";

// A list of `n` lines, stored with its line-break marks.
std::string list_of(const std::string& line, int n) {
    std::string list;
    for (int i = 0; i < n; ++i)
        list += line + std::to_string(i) + ".txt\x02";
    return list;
}

// Longer than a 512-byte sector, and different from the first byte on, so
// that a write torn by a power cut mixes them.
const SettingsMap old_settings = {{"allow_files", list_of("old\\ghost\\master\\", 40)},
                                  {"host", "old.example"},
                                  {"id", "author"},
                                  {"password", "69566bf6"}};
const SettingsMap longer_settings = {{"allow_files", list_of("new\\ghost\\master\\", 50)},
                                     {"host", "new.example"},
                                     {"id", "author"},
                                     {"password", "69566bf6"},
                                     {"timediff", "9"}};
const SettingsMap shorter_settings = {{"allow_files", list_of("new\\", 30)}, {"id", "me"}};

std::string bytes_of(const SettingsMap& map) {
    std::string bytes;
    for (const auto& [key, value] : map)
        bytes += key + sep + value + "\r\n";
    return bytes;
}

enum class Kind {
    first_save, // no settings file yet
    plain,      // a hidden file with security of its own
    hard_link,  // a second name: written over
    symbolic_link,
    read_only_behind_link,
    held,         // a reader holds it without sharing its deletion
    mapped,       // ... and maps it: it cannot be cut
    no_new_files, // a folder that takes no new file
};

struct Scenario {
    const char* name;
    Kind kind;
    bool keeping_replace; // Windows, where the system's replace keeps more
    const SettingsMap* saved;
    // Without failures: whether it saves, and the security the file has then
    // (only the system's replace and a write in place keep the owner's).
    bool saves;
    const char* security;
    fake::Ids ids = fake::Ids::unique;
};

const char* const owners = "the owner's";
const char* const inherited = "inherited";

const Scenario scenarios[] = {
    {"first save, Windows", Kind::first_save, true, &longer_settings, true, inherited},
    {"first save, Wine", Kind::first_save, false, &longer_settings, true, inherited},
    {"plain, Windows", Kind::plain, true, &longer_settings, true, owners},
    {"plain, Wine", Kind::plain, false, &shorter_settings, true, inherited},
    {"hard link", Kind::hard_link, true, &shorter_settings, true, owners},
    {"symbolic link, Windows", Kind::symbolic_link, true, &shorter_settings, true, owners},
    {"symbolic link, Wine", Kind::symbolic_link, false, &longer_settings, true, inherited},
    // A link's own attributes say nothing of the file it leads to.
    {"read-only behind a link", Kind::read_only_behind_link, true, &shorter_settings, false,
     owners},
    {"held, Windows", Kind::held, true, &shorter_settings, true, owners},
    {"held, Wine", Kind::held, false, &longer_settings, true, owners},
    // A mapped file cannot be cut to the shorter settings: the box.
    {"mapped, Wine", Kind::mapped, false, &shorter_settings, false, owners},
    // Longer settings need no cut; where a step fails, the old bytes go
    // back into a file that cannot be cut back.
    {"mapped, longer settings", Kind::mapped, false, &longer_settings, true, owners},
    // Identities that tell nothing, or change with a rename.
    {"plain, Windows, no file IDs", Kind::plain, true, &longer_settings, true, owners,
     fake::Ids::all_zero},
    {"held, Windows, no file IDs", Kind::held, true, &shorter_settings, true, owners,
     fake::Ids::all_zero},
    {"held, Windows, one file ID for all", Kind::held, true, &shorter_settings, true, owners,
     fake::Ids::all_the_same},
    {"symbolic link, Windows, one file ID for all", Kind::symbolic_link, true, &longer_settings,
     true, owners, fake::Ids::all_the_same},
    {"plain, Windows, FAT", Kind::plain, true, &longer_settings, true, owners,
     fake::Ids::change_on_rename},
    {"no new files", Kind::no_new_files, true, &longer_settings, true, owners},
};

// The user's own files beside the settings, one named much like ours.
const std::vector<std::string> theirs = {"C:\\pub\\readme.txt", "C:\\pub\\~mabiru.1",
                                         "C:\\pub\\mabiru.dat.bak"};

void set_up(const Scenario& scenario, const std::vector<Failure>& plan) {
    fake::reset();
    fake::System& system = fake::system();
    system.keeping_replace = scenario.keeping_replace;
    system.ids = scenario.ids;
    system.no_new_files = scenario.kind == Kind::no_new_files;
    for (const std::string& name : theirs)
        fake::add_file(name, "theirs: " + name)->written_s -= 30 * 24 * 3600;
    if (scenario.kind == Kind::symbolic_link || scenario.kind == Kind::read_only_behind_link) {
        const auto file = fake::add_file(linked_file, bytes_of(old_settings));
        file->security = owners;
        file->hidden = true;
        file->read_only = scenario.kind == Kind::read_only_behind_link;
        fake::add_link(target, linked_file);
    } else if (scenario.kind != Kind::first_save) {
        const auto file = fake::add_file(target, bytes_of(old_settings));
        file->written_s -= 3 * 24 * 3600;
        file->hidden = true;
        file->security = owners;
        file->held = scenario.kind == Kind::held || scenario.kind == Kind::mapped;
        file->mapped = scenario.kind == Kind::mapped;
        if (scenario.kind == Kind::hard_link)
            fake::add_name(folder + "second.dat", file);
    }
    system.plan = plan;
}

// What a run left: every name and what it holds.
struct State {
    bool saved = false;
    // What the next start shows, and where it found it.
    StartLoad start;
    SettingsMap shown;
    std::map<std::string, std::string> files; // name: bytes, security, hidden
    std::vector<Call> calls;
    std::vector<Outcome> outcomes;
};

State run(const Scenario& scenario, const std::vector<Failure>& plan) {
    set_up(scenario, plan);
    State state;
    state.saved = save_settings(*scenario.saved, target, sep);
    for (const auto& [name, entry] : fake::system().names)
        state.files[name] = entry.data ? entry.data->bytes + "|" + entry.data->security +
                                             (entry.data->hidden ? "|hidden" : "")
                                       : "-> " + entry.link;
    state.calls = fake::system().calls;
    state.outcomes = fake::system().outcomes;
    state.start = load_settings_at_start(state.shown, target, sep);
    return state;
}

std::string described(const std::vector<Failure>& plan, const State& state) {
    std::ostringstream out;
    for (const Failure& failure : plan)
        out << "call " << failure.call << " ("
            << (failure.call < state.calls.size() ? fake::name_of(state.calls[failure.call]) : "?")
            << ") " << fake::name_of(failure.outcome) << "; ";
    return out.str();
}

bool had_link(const Scenario& scenario) {
    return scenario.kind == Kind::symbolic_link || scenario.kind == Kind::read_only_behind_link;
}

bool reads_as(const std::string& bytes, const SettingsMap& map) {
    SettingsMap read;
    parse_settings(bytes, read, sep);
    return read == map;
}

// The documented format of the save's own names, known here independently.
bool looks_like_ours(const std::string& path) {
    const std::string name = path.substr(path.rfind('\\') + 1);
    if (name.size() != 10 || name.compare(0, 2, "~m") != 0 ||
        std::string("wki").find(name[2]) == std::string::npos)
        return false;
    for (std::size_t i = 3; i < name.size(); ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'z')))
            return false;
    return true;
}

bool whole_copy_beside(const SettingsMap& map) {
    for (const auto& [name, entry] : fake::system().names)
        if (name.compare(name.rfind('\\') + 1, 3, "~mi") == 0 && entry.data &&
            entry.data->bytes == bytes_of(map))
            return true;
    return false;
}

// Whether a file of the save's own holds `bytes`.
bool holds_copy(const std::string& bytes) {
    for (const auto& [name, entry] : fake::system().names)
        if (looks_like_ours(name) && entry.data && entry.data->bytes == bytes)
            return true;
    return false;
}

bool any(const std::vector<Failure>& plan, const State& state, std::set<Call> calls) {
    for (const Failure& failure : plan)
        if (failure.call < state.calls.size() && calls.count(state.calls[failure.call]) &&
            state.outcomes[failure.call] != Outcome::none)
            return true;
    return false;
}

// Everything that must hold after a save, whatever failed; the first
// broken rule, or empty.
std::string broken_rule(const Scenario& scenario, const std::vector<Failure>& plan,
                        const State& state, const State& clean) {
    const std::string old_bytes = bytes_of(old_settings);
    const std::string new_bytes = bytes_of(*scenario.saved);
    const auto file = fake::file_at(target);
    const bool had_old = scenario.kind != Kind::first_save;
    // A write over the file itself that failed, and so did putting the old
    // bytes back: the one way, like a crash in the middle of it, that may
    // leave a mix.
    int failed_in_place = 0;
    for (std::size_t i = 0; i < state.calls.size(); ++i)
        failed_in_place += (state.calls[i] == Call::write_at || state.calls[i] == Call::set_size ||
                            state.calls[i] == Call::sync) &&
                           state.outcomes[i] != Outcome::none;
    const bool both_in_place = failed_in_place >= 2;

    if (state.saved && !(file && file->bytes == new_bytes))
        return "said saved, but the file is not the new one";
    if (state.saved && file->not_closed)
        return "said saved, though a file it wrote did not close whole";
    // The next start shows the old settings or the new, whatever failed.
    const bool shows_old_or_new =
        state.start.status == ReadStatus::read
            ? state.shown == old_settings || state.shown == *scenario.saved
            : !had_old && state.start.status == ReadStatus::not_found;
    if (!shows_old_or_new && !(both_in_place && !whole_copy_beside(*scenario.saved)))
        return "the next start shows neither the old settings nor the new";
    // Nothing deletes the only whole copy of either.
    if (!state.saved && had_old && !file && !(holds_copy(old_bytes) && holds_copy(new_bytes)))
        return "the file is gone, and so is a whole copy of the old settings or the new";
    if (!state.saved) {
        // One failure leaves one whole file or the other, byte for byte.
        if (plan.size() <= 1 && !both_in_place &&
            !(had_old ? file && (file->bytes == old_bytes || file->bytes == new_bytes)
                      : !file || file->bytes == new_bytes))
            return "a failed save left the file neither old nor new";
        // Three failures in a row may leave no file, its copies beside it.
        const bool whole = had_old ? !file || reads_as(file->bytes, old_settings) ||
                                         reads_as(file->bytes, *scenario.saved)
                                   : !file || file->bytes == new_bytes;
        if (!whole && !both_in_place)
            return "the file reads as neither the old settings nor the new";
    }
    if (!scenario.saves && state.saved)
        return "saved where no save may be";
    // A path that the system cannot resolve, or resolves to another file,
    // changes how the save writes, never whether it saves.
    if (plan.size() == 1 && state.calls[plan[0].call] == Call::link_target &&
        state.saved != clean.saved)
        return "a path that could not be resolved changed whether the save went through";
    if (fake::system().names[fake::normalized(target)].link !=
        (had_link(scenario) ? linked_file : ""))
        return "the symbolic link is no longer a link to its file";
    if (scenario.kind == Kind::hard_link && fake::file_at(folder + "second.dat") != file)
        return "the second name no longer names the settings file";
    for (const std::string& name : theirs) {
        const auto theirs_now = fake::file_at(name);
        if (!theirs_now || theirs_now->bytes != "theirs: " + name)
            return "the user's file " + name + " was changed";
    }
    // What is left beside the settings: only names of the save's making,
    // and only where a deletion failed or they hold the only whole copy.
    for (const auto& [name, entry] : fake::system().names) {
        const bool known = name == fake::normalized(target) || name == linked_file ||
                           name == folder + "second.dat" ||
                           std::find(theirs.begin(), theirs.end(), name) != theirs.end();
        if (known)
            continue;
        if (!looks_like_ours(name))
            return "left a file of a name not of the save's making: " + name;
        const bool holds_new = entry.data && entry.data->bytes == new_bytes;
        // A file written over whose close failed may not be whole: its
        // whole copy stays beside it.
        const bool only_copy = !file && entry.data && (holds_new || entry.data->bytes == old_bytes);
        if (!any(plan, state, {Call::remove}) && !(both_in_place && holds_new) &&
            !(holds_new && any(plan, state, {Call::close})) && !only_copy)
            return "left " + name + " behind";
    }
    if (both_in_place && file && !reads_as(file->bytes, old_settings) &&
        !reads_as(file->bytes, *scenario.saved) && scenario.kind != Kind::hard_link &&
        scenario.kind != Kind::no_new_files) {
        bool kept = false;
        for (const auto& [name, entry] : fake::system().names)
            kept = kept || (looks_like_ours(name) && entry.data && entry.data->bytes == new_bytes);
        if (!kept)
            return "the only whole copy of the new settings was deleted";
    }
    if (state.saved && had_old && !file->hidden)
        return "the hidden attribute was lost";
    if (!scenario.keeping_replace &&
        std::find(state.calls.begin(), state.calls.end(), Call::replace_file) != state.calls.end())
        return "the system's replace was used where it moves the old file away first";
    // A temporary name that another save took is passed for the next one.
    if (plan.size() == 1 && state.calls[plan[0].call] == Call::create_new &&
        plan[0].outcome == Outcome::exists &&
        (state.saved != clean.saved || (file && file->security != scenario.security)))
        return "a temporary name taken changed how the save went";
    // A refusal for now is waited out: the end is as if it never happened,
    // the security that only the system's replace keeps included.
    bool transient = true;
    for (const Failure& failure : plan)
        transient = transient && state.outcomes.size() > failure.call &&
                    state.outcomes[failure.call] == Outcome::busy;
    if (transient && (state.saved != clean.saved || state.files != clean.files))
        return "a brief refusal changed the end of the save";
    return "";
}

} // namespace

TEST(SaveFaults, EveryFailureAndEveryPairLeaveTheOldSettingsOrTheNew) {
    std::size_t runs = 0;
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const State clean = run(scenario, {});
        ASSERT_EQ(broken_rule(scenario, {}, clean, clean), "");
        EXPECT_EQ(clean.saved, scenario.saves);
        EXPECT_EQ(fake::file_at(target)->security, scenario.security);
        int reported = 0;
        const auto check = [&](const std::vector<Failure>& plan) {
            const State state = run(scenario, plan);
            ++runs;
            const std::string rule = broken_rule(scenario, plan, state, clean);
            if (!rule.empty() && ++reported <= 5)
                ADD_FAILURE() << rule << " after " << described(plan, state);
            return state;
        };
        for (std::size_t i = 0; i < clean.calls.size(); ++i)
            for (const Outcome first : fake::failures_of(clean.calls[i])) {
                const State once = check({{i, first}});
                for (std::size_t j = i + 1; j < once.calls.size(); ++j)
                    for (const Outcome second : fake::failures_of(once.calls[j])) {
                        const State twice = check({{i, first}, {j, second}});
                        // Where the old file left its name, every way out
                        // may fail as well.
                        if (first != Outcome::replacement_not_moved_2)
                            continue;
                        for (std::size_t k = j + 1; k < twice.calls.size(); ++k)
                            for (const Outcome third : fake::failures_of(twice.calls[k]))
                                check({{i, first}, {j, second}, {k, third}});
                    }
            }
    }
    std::printf("%zu saves, each with one, two or three failures\n", runs);
}

namespace {

// Whether the power went while the file itself was being written over:
// after a write to it and before it was closed.
bool cut_while_written_over(const std::vector<Call>& calls, std::size_t after) {
    bool writing = false;
    for (std::size_t i = 0; i <= after && i < calls.size(); ++i) {
        if (calls[i] == Call::write_at || calls[i] == Call::set_size)
            writing = true;
        else if (calls[i] == Call::close)
            writing = false;
    }
    return writing;
}

// What must hold when the system comes back after a power cut: the start
// shows exactly the old settings or the new ones, and OK then saves what it
// showed, and the copies it showed them from go.
std::string broken_after_cut(const Scenario& scenario, bool written_over) {
    // The one exception: a cut in the middle of writing over the file
    // itself, where no whole copy waits beside it.
    const bool exempt = written_over && !whole_copy_beside(*scenario.saved);
    SettingsMap shown;
    const StartLoad start = load_settings_at_start(shown, target, sep);
    const bool old_or_new = shown == old_settings || shown == *scenario.saved;
    const bool nothing_before = scenario.kind == Kind::first_save;
    if (!exempt && !(start.status == ReadStatus::read
                         ? old_or_new
                         : nothing_before && start.status == ReadStatus::not_found))
        return start.status == ReadStatus::read ? "the next start shows neither the old "
                                                  "settings nor the new"
                                                : "the next start found no settings";
    if (scenario.kind == Kind::read_only_behind_link)
        return "";
    if (!save_settings(shown, target, sep, start))
        return "OK after the cut did not save";
    const auto file = fake::file_at(target);
    if (!file || file->bytes != bytes_of(shown))
        return "OK after the cut saved something else than it showed";
    for (const std::string& copy : start.copies)
        if (fake::system().names.count(fake::normalized(copy)))
            return "OK after the cut left the copy it showed, " + copy;
    if (fake::system().names[fake::normalized(target)].link !=
        (had_link(scenario) ? linked_file : ""))
        return "the symbolic link is no longer a link to its file";
    if (scenario.kind == Kind::hard_link && fake::file_at(folder + "second.dat") != file)
        return "the second name no longer names the settings file";
    for (const std::string& name : theirs)
        if (!fake::file_at(name) || fake::file_at(name)->bytes != "theirs: " + name)
            return "the user's file " + name + " was changed";
    return "";
}

} // namespace

// The power goes after any call of a save, alone and after one failure.
// The names come back as the file system's log had them after any number
// of the changes made since they were last durable, and the bytes written
// since a file's last sync all there, all gone, or torn.
TEST(SaveFaults, APowerCutAtAnyMomentLeavesTheNextStartTheOldSettingsOrTheNew) {
    std::size_t runs = 0;
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        int reported = 0;
        const auto cut = [&](const std::vector<Failure>& plan, std::size_t after) {
            set_up(scenario, plan);
            fake::system().cut_after = after;
            save_settings(*scenario.saved, target, sep);
            const std::size_t changes = std::max<std::size_t>(fake::system().journal.size(), 1);
            const bool written_over = cut_while_written_over(fake::system().calls, after);
            for (std::size_t kept = 0; kept < changes; ++kept)
                for (const fake::Lost lost :
                     {fake::Lost::nothing, fake::Lost::unsynced, fake::Lost::torn}) {
                    set_up(scenario, plan);
                    fake::system().cut_after = after;
                    save_settings(*scenario.saved, target, sep);
                    State saved;
                    saved.calls = fake::system().calls;
                    fake::power_cut(kept, lost);
                    ++runs;
                    const std::string rule = broken_after_cut(scenario, written_over);
                    if (!rule.empty() && ++reported <= 5)
                        ADD_FAILURE()
                            << rule << " after a cut after call " << after << " with " << kept
                            << " of " << changes - 1 << " name changes kept, unsynced bytes "
                            << (lost == fake::Lost::nothing    ? "kept"
                                : lost == fake::Lost::unsynced ? "lost"
                                                               : "torn")
                            << "; " << described(plan, saved);
                }
        };
        const State clean = run(scenario, {});
        for (std::size_t after = 0; after < clean.calls.size(); ++after)
            cut({}, after);
        for (std::size_t i = 0; i < clean.calls.size(); ++i)
            for (const Outcome first : fake::failures_of(clean.calls[i])) {
                const State once = run(scenario, {{i, first}});
                for (std::size_t after = i; after < once.calls.size(); ++after)
                    cut({{i, first}}, after);
            }
    }
    std::printf("%zu starts after a power cut\n", runs);
}
