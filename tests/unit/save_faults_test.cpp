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

const SettingsMap old_settings = {{"allow_files", "readme.txt\x02ghost\\*.txt\x02"},
                                  {"host", "old.example"},
                                  {"id", "author"},
                                  {"password", "69566bf6"}};
const SettingsMap longer_settings = {{"allow_files", "readme.txt\x02ghost\\*.txt\x02shell\\*\x02"},
                                     {"host", "new.example"},
                                     {"id", "author"},
                                     {"password", "69566bf6"},
                                     {"timediff", "9"}};
const SettingsMap shorter_settings = {{"host", "new.example"}, {"id", "me"}};

// The file's bytes for `map`, as the save writes them.
std::string text_of(const SettingsMap& map) {
    std::string text = "(refused)";
    settings_text(map, sep, text);
    return text;
}
const std::string old_bytes = text_of(old_settings);

// The user's own files beside the settings: the one a path resolved
// elsewhere names, and others named much like the save's own.
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
    {"no new files", Kind::no_new_files, true, &longer_settings, true, owners},
};

void set_up(const Situation& situation, const std::vector<Failure>& plan) {
    fake::reset();
    fake::System& system = fake::system();
    system.keeping_replace = situation.keeping_replace;
    system.no_new_files = situation.kind == Kind::no_new_files;
    for (const std::string& name : theirs)
        fake::add_file(name, "theirs: " + name)->age_s = 30 * 24 * 3600;
    if (situation.has_old()) {
        const auto file = fake::add_file(situation.behind_link() ? linked_file : target, old_bytes);
        file->hidden = true;
        file->security = owners;
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
    return is_temp_name(path.substr(path.rfind('\\') + 1));
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
    std::vector<std::string> left(bool holding_new = false) const {
        std::vector<std::string> names;
        for (const auto& [name, entry] : fake::system().names)
            if (name != fake::normalized(target) && name != linked_file && name != second_name &&
                std::find(theirs.begin(), theirs.end(), name) == theirs.end() &&
                (!holding_new || (entry.data && entry.data->bytes == new_bytes)))
                names.push_back(name);
        return names;
    }
};

Save run_save(const Situation& situation, const std::vector<Failure>& plan, const Save* clean) {
    set_up(situation, plan);
    Save save{situation, plan, clean, text_of(*situation.saved), false, {}, {}, {}};
    save.saved = save_settings(*situation.saved, target, sep);
    for (const auto& [name, entry] : fake::system().names)
        save.files[name] = entry.data ? entry.data->bytes + "|" + entry.data->security +
                                            (entry.data->hidden ? "|hidden" : "")
                                      : "-> " + entry.link;
    save.calls = fake::system().calls;
    save.outcomes = fake::system().outcomes;
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
    RULE("one failure leaves one whole file or the other, byte for byte",
         !s.saved && s.plan.size() <= 1 && !s.both_in_place(),
         s.situation.has_old() ? s.file_is(old_bytes) || s.file_is(s.new_bytes)
                               : !s.file() || s.file_is(s.new_bytes)),
    RULE("a failed save leaves a file that reads as the old settings or the new",
         !s.saved && !s.both_in_place(),
         s.situation.has_old() ? s.reads_as(old_settings) || s.reads_as(*s.situation.saved)
                               : !s.file() || s.file_is(s.new_bytes)),
    RULE("where no save may be, none is reported", !s.situation.saves, !s.saved),
    RULE("a path that the system cannot resolve, or resolves to another file, changes how the "
         "save writes, never whether it saves",
         s.clean != nullptr && s.plan.size() == 1 && s.calls[s.plan[0].call] == Call::final_path_of,
         s.saved == s.clean->saved),
    RULE("a symbolic link stays a link to its file, and the settings' name no link", true,
         s.link_at_target() == (s.situation.behind_link() ? linked_file : "")),
    RULE("a second name still names the settings file", s.situation.kind == Kind::hard_link,
         fake::file_at(second_name) == s.file()),
    RULE("the user's files beside the settings stay as they were", true, every(theirs, untouched)),
    RULE("no name is left beside the settings that is not of the save's making", true,
         every(s.left(), is_ours)),
    RULE("the save's own files go, but where a deletion failed or they hold the only whole copy",
         !s.failed(Call::remove),
         s.left().empty() || (s.both_in_place() && s.left() == s.left(true))),
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
                    for (const Outcome second : fake::failures_of(once.calls[j]))
                        check({{i, first}, {j, second}});
            }
    }
    std::printf("%zu saves, each with one or two failures\n", runs);
}
