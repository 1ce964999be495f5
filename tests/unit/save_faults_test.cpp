// Every call that a save makes of the system fails, in every way the system
// documents for it, alone and then together with every later call; after
// each run the folder must hold a settings file that reads as exactly the
// old settings or exactly the new ones, and the save must say it failed
// whenever the file is not exactly the new one. The situations are rows;
// the rules a list of named checks, each with the runs it applies to.
#include "fake_platform.h"

#include "settings/settings_file.h"
#include "settings/temp_files.h"
#include "tests/common/look_alike_names.h"

#include <gtest/gtest.h>

#include <algorithm>
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
const std::string second_name = "C:\\pub\\second.dat";

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

// The file's bytes for `map`, as the save writes them.
std::string text_of(const SettingsMap& map) {
    std::string text = "(refused)";
    settings_text(map, sep, text);
    return text;
}
const std::string old_bytes = text_of(old_settings);

// The user's own files beside the settings, some named much like the
// save's own.
const std::vector<std::string> theirs = [] {
    std::vector<std::string> paths = {"C:\\pub\\readme.txt"};
    for (const std::string& name : look_alike_names())
        paths.push_back(folder + name);
    return paths;
}();

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

struct Situation {
    const char* name;
    Kind kind;
    bool keeping_replace; // Windows, where the system's replace keeps more
    const SettingsMap* saved;
    // Without failures: whether it saves, and the security the file has then
    // (only the system's replace and a write in place keep the owner's).
    bool saves;
    const char* security;
    fake::Ids ids = fake::Ids::unique;

    bool has_old() const { return kind != Kind::first_save; }
    bool behind_link() const {
        return kind == Kind::symbolic_link || kind == Kind::read_only_behind_link;
    }
};

const char* const owners = "the owner's";
const char* const inherited = "inherited";

const Situation situations[] = {
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

void set_up(const Situation& situation, const std::vector<Failure>& plan) {
    fake::reset();
    fake::System& system = fake::system();
    system.keeping_replace = situation.keeping_replace;
    system.ids = situation.ids;
    system.no_new_files = situation.kind == Kind::no_new_files;
    for (const std::string& name : theirs)
        fake::add_file(name, "theirs: " + name)->written_s -= 30 * 24 * 3600;
    for (const char* const where : {"C:\\pub\\", "C:\\real\\"})
        fake::add_file(where, "")->folder = true;
    if (situation.has_old()) {
        const auto file = fake::add_file(situation.behind_link() ? linked_file : target, old_bytes);
        file->hidden = true;
        file->security = owners;
        file->written_s -= 3 * 24 * 3600;
        file->read_only = situation.kind == Kind::read_only_behind_link;
        file->held = situation.kind == Kind::held || situation.kind == Kind::mapped;
        file->mapped = situation.kind == Kind::mapped;
        if (situation.behind_link())
            fake::add_link(target, linked_file);
        if (situation.kind == Kind::hard_link)
            fake::add_name(second_name, file);
    }
    system.plan = plan;
}

bool untouched(const std::string& path) {
    return fake::file_at(path) && fake::file_at(path)->bytes == "theirs: " + path;
}

bool is_ours(const std::string& path) {
    const TempKind kind = temp_kind(path.substr(path.rfind('\\') + 1));
    return kind != TempKind::none && kind != TempKind::earlier;
}

// Whether a file of the save's own holds `bytes`; of the kind that waits
// beside a file being written over, for `beside`.
bool holds_copy(const std::string& bytes, bool beside = false) {
    for (const auto& [name, entry] : fake::system().names)
        if (is_ours(name) && entry.data && entry.data->bytes == bytes &&
            (!beside || temp_kind(name.substr(name.rfind('\\') + 1)) == TempKind::beside))
            return true;
    return false;
}

template <class Pred> bool every(const std::vector<std::string>& names, Pred pred) {
    return std::all_of(names.begin(), names.end(), pred);
}
template <class Pred> bool some(const std::vector<std::string>& names, Pred pred) {
    return std::any_of(names.begin(), names.end(), pred);
}

// One save of a situation under a plan of failures, and what it left. The
// checks read the fake's files, which are the save's until the next one.
struct Save {
    const Situation& situation;
    std::vector<Failure> plan;
    const Save* clean; // the situation's save without failures; null for that one
    std::string new_bytes;
    bool saved = false;
    std::vector<Call> calls;
    std::vector<Outcome> outcomes;
    std::map<std::string, std::string> files; // name: bytes, security, hidden
    // What the next start shows, and where it found it.
    StartLoad start;
    SettingsMap shown;

    std::shared_ptr<fake::Data> file() const { return fake::file_at(target); }
    bool file_is(const std::string& bytes) const { return file() && file()->bytes == bytes; }
    bool reads_as(const SettingsMap& map) const {
        SettingsMap read;
        parse_settings(file() ? file()->bytes : "", read, sep);
        return file() && read == map;
    }
    std::string link_at_target() const {
        const auto at = fake::system().names.find(fake::normalized(target));
        return at == fake::system().names.end() ? "" : at->second.link;
    }
    // A planned failure of a call of this kind that took effect.
    bool failed(Call call) const {
        return std::any_of(plan.begin(), plan.end(), [&](const Failure& f) {
            return f.call < calls.size() && calls[f.call] == call &&
                   outcomes[f.call] != Outcome::none;
        });
    }
    bool only_brief_refusals() const {
        return std::all_of(plan.begin(), plan.end(), [&](const Failure& f) {
            return f.call < outcomes.size() && outcomes[f.call] == Outcome::busy;
        });
    }
    // A write over the file itself failed, and so did putting the old bytes
    // back: the one way, like a crash in the middle of it, that may leave a mix.
    bool both_in_place() const {
        int failed_in_place = 0;
        for (std::size_t i = 0; i < calls.size(); ++i)
            failed_in_place += (calls[i] == Call::write_at || calls[i] == Call::set_size ||
                                calls[i] == Call::sync) &&
                               outcomes[i] != Outcome::none;
        return failed_in_place >= 2;
    }
    // The names that the situation did not put there; those of them that
    // hold the new settings.
    bool next_start_shows_old_or_new() const {
        return start.status == ReadStatus::read
                   ? shown == old_settings || shown == *situation.saved
                   : !situation.has_old() && start.status == ReadStatus::not_found;
    }
    std::vector<std::string> left(bool holding_new = false) const {
        std::vector<std::string> names;
        for (const auto& [name, entry] : fake::system().names)
            if (name != fake::normalized(target) && name != linked_file && name != second_name &&
                !(entry.data && entry.data->folder) &&
                std::find(theirs.begin(), theirs.end(), name) == theirs.end() &&
                (!holding_new || (entry.data && entry.data->bytes == new_bytes)))
                names.push_back(name);
        return names;
    }
};

Save run_save(const Situation& situation, const std::vector<Failure>& plan, const Save* clean) {
    set_up(situation, plan);
    Save save{situation, plan, clean, text_of(*situation.saved), false, {}, {}, {}, {}, {}};
    save.saved = save_settings(*situation.saved, target, sep);
    for (const auto& [name, entry] : fake::system().names)
        save.files[name] = entry.data ? entry.data->bytes + "|" + entry.data->security +
                                            (entry.data->hidden ? "|hidden" : "")
                                      : "-> " + entry.link;
    save.calls = fake::system().calls;
    save.outcomes = fake::system().outcomes;
    save.start = load_settings_at_start(save.shown, target, sep);
    return save;
}

// What every save must keep, whatever failed: what the rule guards, the
// saves it applies to, and the check, both of the save `s`.
struct Rule {
    const char* guards;
    bool (*applies)(const Save&);
    bool (*holds)(const Save&);
};
#define RULE(guards, applies, holds)                                                               \
    {                                                                                              \
        guards, []([[maybe_unused]] const Save& s) -> bool { return applies; },                    \
            []([[maybe_unused]] const Save& s) -> bool { return holds; }                           \
    }

const Rule rules[] = {
    RULE("a save that says it saved leaves exactly the new file", s.saved, s.file_is(s.new_bytes)),
    RULE("a save that says it saved closed the file it wrote without a failure", s.saved,
         !s.file()->not_closed),
    RULE("the next start shows the old settings or the new",
         !(s.both_in_place() && !holds_copy(s.new_bytes, true)), s.next_start_shows_old_or_new()),
    RULE("where no file is left, whole copies of the old and the new settings wait beside it",
         !s.saved && s.situation.has_old() && !s.file(),
         holds_copy(old_bytes) && holds_copy(s.new_bytes)),
    RULE("one failure leaves one whole file or the other, byte for byte",
         !s.saved && s.plan.size() <= 1 && !s.both_in_place(),
         s.situation.has_old() ? s.file_is(old_bytes) || s.file_is(s.new_bytes)
                               : !s.file() || s.file_is(s.new_bytes)),
    RULE("a failed save leaves a file that reads as the old settings or the new, or none",
         !s.saved && !s.both_in_place(),
         !s.file() || s.reads_as(old_settings) || s.file_is(s.new_bytes) ||
             (s.situation.has_old() && s.reads_as(*s.situation.saved))),
    RULE("where no save may be, none is reported", !s.situation.saves, !s.saved),
    RULE("a link that cannot be followed changes how the save writes, never whether it saves",
         s.clean != nullptr && s.plan.size() == 1 && s.calls[s.plan[0].call] == Call::link_target,
         s.saved == s.clean->saved),
    RULE("a temporary name that another save took is passed for the next one",
         s.clean != nullptr && s.plan.size() == 1 && s.calls[s.plan[0].call] == Call::create_new &&
             s.plan[0].outcome == Outcome::exists,
         s.saved == s.clean->saved && (!s.saved || s.file()->security == s.situation.security)),
    RULE("a symbolic link stays a link to its file, and the settings' name no link", true,
         s.link_at_target() == (s.situation.behind_link() ? linked_file : "")),
    RULE("a second name still names the settings file", s.situation.kind == Kind::hard_link,
         fake::file_at(second_name) == s.file()),
    RULE("the user's files beside the settings stay as they were", true, every(theirs, untouched)),
    RULE("no name is left beside the settings that is not of the save's making", true,
         every(s.left(), is_ours)),
    // A file written over whose close failed may not be whole either.
    RULE("the save's own files go, but where a deletion failed or they hold the only whole copy",
         !s.failed(Call::remove),
         s.left().empty() ||
             ((s.both_in_place() || s.failed(Call::close)) && s.left() == s.left(true)) ||
             (!s.file() && every(s.left(),
                                 [&s](const std::string& name) {
                                     const auto data = fake::file_at(name);
                                     return data && (data->bytes == old_bytes ||
                                                     data->bytes == s.new_bytes);
                                 }))),
    RULE("where a mix is left, the only whole copy of the new settings is kept",
         s.both_in_place() && s.file() && !s.reads_as(old_settings) &&
             !s.reads_as(*s.situation.saved) && s.situation.kind != Kind::hard_link &&
             s.situation.kind != Kind::no_new_files,
         some(s.left(true), is_ours)),
    RULE("a save keeps the hidden attribute", s.saved&& s.situation.has_old(),
         s.file() && s.file()->hidden),
    RULE("the system's replace is not used where it moves the old file away first",
         !s.situation.keeping_replace,
         std::count(s.calls.begin(), s.calls.end(), Call::replace_file) == 0),
    // The security that only the system's replace keeps included.
    RULE("a refusal for now is waited out: the end is as if it never happened",
         s.clean != nullptr && s.only_brief_refusals(),
         s.saved == s.clean->saved && s.files == s.clean->files),
};
#undef RULE

// The rules that the save breaks, one a line; empty when it keeps them all.
std::string broken_rules(const Save& save) {
    std::string broken;
    for (const Rule& rule : rules)
        if (rule.applies(save) && !rule.holds(save))
            broken += "broken: " + std::string(rule.guards) + "\n";
    return broken;
}

// The plan, and the names the save left beside the settings.
std::string described(const Save& save) {
    std::ostringstream out;
    for (const Failure& failure : save.plan)
        out << "call " << failure.call << " ("
            << (failure.call < save.calls.size() ? fake::name_of(save.calls[failure.call]) : "?")
            << ") " << fake::name_of(failure.outcome) << "; ";
    for (const std::string& name : save.left())
        out << "left " << name << "; ";
    return out.str();
}

} // namespace

TEST(SaveFaults, EveryFailureAndEveryPairLeaveTheOldSettingsOrTheNew) {
    std::size_t runs = 0;
    for (const Situation& situation : situations) {
        SCOPED_TRACE(situation.name);
        const Save clean = run_save(situation, {}, nullptr);
        ASSERT_EQ(broken_rules(clean), "");
        EXPECT_EQ(clean.saved, situation.saves);
        EXPECT_EQ(fake::file_at(target)->security, situation.security);
        int reported = 0;
        const auto check = [&](const std::vector<Failure>& plan) {
            const Save failed = run_save(situation, plan, &clean);
            ++runs;
            const std::string broken = broken_rules(failed);
            if (!broken.empty() && ++reported <= 5)
                ADD_FAILURE() << broken << "after " << described(failed);
            return failed;
        };
        for (std::size_t i = 0; i < clean.calls.size(); ++i)
            for (const Outcome first : fake::failures_of(clean.calls[i])) {
                const Save once = check({{i, first}});
                for (std::size_t j = i + 1; j < once.calls.size(); ++j)
                    for (const Outcome second : fake::failures_of(once.calls[j])) {
                        const Save twice = check({{i, first}, {j, second}});
                        // Where the old file has left its name, every way
                        // out may fail as well.
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
// shows exactly the old settings or the new ones, OK then saves what it
// showed, and the copies it showed them from go.
std::string broken_after_cut(const Situation& situation, bool written_over) {
    // The one exception: a cut in the middle of writing over the file
    // itself, where no whole copy waits beside it.
    const bool exempt = written_over && !holds_copy(text_of(*situation.saved), true);
    SettingsMap shown;
    const StartLoad start = load_settings_at_start(shown, target, sep);
    if (!exempt && !(start.status == ReadStatus::read
                         ? shown == old_settings || shown == *situation.saved
                         : !situation.has_old() && start.status == ReadStatus::not_found))
        return "the next start shows neither the old settings nor the new";
    if (situation.kind == Kind::read_only_behind_link)
        return "";
    if (!save_settings(shown, target, sep, start))
        return "OK after the cut did not save";
    if (!fake::file_at(target) || fake::file_at(target)->bytes != text_of(shown))
        return "OK after the cut saved something else than the start showed";
    for (const std::string& copy : start.copies)
        if (fake::system().names.count(fake::normalized(copy)))
            return "OK after the cut left the copy it showed, " + copy;
    const auto at = fake::system().names.find(fake::normalized(target));
    if (at == fake::system().names.end() ||
        at->second.link != (situation.behind_link() ? linked_file : ""))
        return "the symbolic link is no longer a link to its file";
    if (situation.kind == Kind::hard_link && fake::file_at(second_name) != fake::file_at(target))
        return "the second name no longer names the settings file";
    if (!every(theirs, untouched))
        return "the user's files beside the settings were changed";
    return "";
}

} // namespace

// The power goes after any call of a save, alone and after one failure.
// The names come back as the file system's log had them after any number
// of the changes made since they were last durable, and the bytes written
// since a file's last sync all there, all gone, or torn.
TEST(SaveFaults, APowerCutAtAnyMomentLeavesTheNextStartTheOldSettingsOrTheNew) {
    std::size_t runs = 0;
    for (const Situation& situation : situations) {
        SCOPED_TRACE(situation.name);
        int reported = 0;
        const auto cut = [&](const std::vector<Failure>& plan, std::size_t after) {
            const auto save_until_cut = [&] {
                set_up(situation, plan);
                fake::system().cut_after = after;
                save_settings(*situation.saved, target, sep);
            };
            save_until_cut();
            const std::size_t changes = std::max<std::size_t>(fake::system().journal.size(), 1);
            const std::vector<Call> calls = fake::system().calls;
            for (std::size_t kept = 0; kept < changes; ++kept)
                for (const fake::Lost lost :
                     {fake::Lost::nothing, fake::Lost::unsynced, fake::Lost::torn}) {
                    save_until_cut();
                    fake::power_cut(kept, lost);
                    ++runs;
                    const std::string broken =
                        broken_after_cut(situation, cut_while_written_over(calls, after));
                    if (broken.empty() || ++reported > 5)
                        continue;
                    std::ostringstream plan_text;
                    for (const Failure& failure : plan)
                        plan_text << "; call " << failure.call << " ("
                                  << fake::name_of(calls[failure.call]) << ") "
                                  << fake::name_of(failure.outcome);
                    ADD_FAILURE() << broken << ", after a cut after call " << after << " ("
                                  << fake::name_of(calls[after]) << ") with " << kept << " of "
                                  << changes - 1 << " name changes kept and the unsynced bytes "
                                  << (lost == fake::Lost::nothing    ? "kept"
                                      : lost == fake::Lost::unsynced ? "lost"
                                                                     : "torn")
                                  << plan_text.str();
                }
        };
        const Save clean = run_save(situation, {}, nullptr);
        for (std::size_t after = 0; after < clean.calls.size(); ++after)
            cut({}, after);
        for (std::size_t i = 0; i < clean.calls.size(); ++i)
            for (const Outcome first : fake::failures_of(clean.calls[i])) {
                const Save once = run_save(situation, {{i, first}}, &clean);
                for (std::size_t after = i; after < once.calls.size(); ++after)
                    cut({{i, first}}, after);
            }
    }
    std::printf("%zu starts after a power cut\n", runs);
}
