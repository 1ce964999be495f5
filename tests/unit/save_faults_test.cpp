// Every call that a save makes of the system fails, in every way the system
// documents for it, alone and then together with every later call; and the
// power goes after every call, alone and after one failure. An hour after
// each run the editor starts again and OK saves what it shows. The
// situations are rows, the rules one list of named checks, each with the
// runs it applies to. A second table gives what a start shows for each
// thing that a folder may hold, and what OK then deletes.
#include "fake_platform.h"

#include "settings/settings_file.h"
#include "settings/temp_files.h"
#include "tests/common/look_alike_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>

using fake::Call;
using fake::Failure;
using fake::Outcome;

namespace {

const std::string sep = "\x01";
const std::string folder = "C:\\pub\\";
// As the editor builds it, with a second backslash; and as the fake keeps it.
const std::string target = "C:\\pub\\\\mabiru.dat";
const std::string settings_file = "C:\\pub\\mabiru.dat";
const std::string linked_file = "C:\\real\\real.dat";
const std::string second_name = "C:\\pub\\second.dat";
constexpr long long day_s = 24 * 3600;

// A list of `n` lines, stored with its line-break marks.
std::string list_of(const std::string& line, int n) {
    std::string list;
    for (int i = 0; i < n; ++i)
        list += line + std::to_string(i) + ".txt\x02";
    return list;
}

// Longer than a 512-byte sector, and different from the first byte on, so
// that a write torn by a power cut mixes them.
// clang-format off
const SettingsMap old_settings = {{"allow_files", list_of("old\\ghost\\master\\", 40)},
    {"host", "old.example"}, {"id", "author"}, {"password", "69566bf6"}};
const SettingsMap longer_settings = {{"allow_files", list_of("new\\ghost\\master\\", 50)},
    {"host", "new.example"}, {"id", "author"}, {"password", "69566bf6"}, {"timediff", "9"}};
// clang-format on
const SettingsMap shorter_settings = {{"allow_files", list_of("new\\", 30)}, {"id", "me"}};

// The file's bytes for `map`, as the save writes them.
std::string text_of(const SettingsMap& map) {
    std::string text = "(refused)";
    settings_text(map, sep, text);
    return text;
}
const std::string old_bytes = text_of(old_settings);

TempKind kind_of(const std::string& path) {
    return temp_kind(path.substr(path.rfind('\\') + 1));
}
bool is_ours(const std::string& path) {
    const TempKind kind = kind_of(path);
    return kind != TempKind::none && kind != TempKind::earlier;
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
    // No file: a replace cut off between its renames left the settings
    // that a start shows as new ones, and older ones moved aside.
    between_renames,
};

// What else the folder holds.
enum class Beside {
    nothing,
    leftovers,    // what earlier saves left, named an hour ago
    backups_at,   // another editor's backups under the first names a save takes
    replacing_at, // another editor's new files under the names a save takes
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
    Beside beside = Beside::nothing;
    long long dated_s = -3 * day_s; // the old file's last write, from now

    // A settings file is there; a start shows the old settings.
    bool has_old() const { return kind != Kind::first_save && kind != Kind::between_renames; }
    bool shows_old() const { return has_old() || kind == Kind::between_renames; }
    bool behind_link() const {
        return kind == Kind::symbolic_link || kind == Kind::read_only_behind_link;
    }
};

const char* const owners = "the owner's";
const char* const inherited = "inherited";
using fake::Ids;

// clang-format off
const Situation situations[] = {
    {"first save, Windows", Kind::first_save, true, &longer_settings, true, inherited},
    {"first save, Wine", Kind::first_save, false, &longer_settings, true, inherited},
    {"plain, Windows", Kind::plain, true, &longer_settings, true, owners},
    {"plain, Wine", Kind::plain, false, &shorter_settings, true, inherited},
    {"hard link", Kind::hard_link, true, &shorter_settings, true, owners},
    {"symbolic link, Windows", Kind::symbolic_link, true, &shorter_settings, true, owners},
    {"symbolic link, Wine", Kind::symbolic_link, false, &longer_settings, true, inherited},
    // A link's own attributes say nothing of the file it leads to.
    {"read-only behind a link", Kind::read_only_behind_link, true, &shorter_settings, false, owners},
    {"held, Windows", Kind::held, true, &shorter_settings, true, owners},
    {"held, Wine", Kind::held, false, &longer_settings, true, owners},
    // A mapped file cannot be cut to the shorter settings: the box.
    {"mapped, Wine", Kind::mapped, false, &shorter_settings, false, owners},
    // Longer settings need no cut; where a step fails, the old bytes go
    // back into a file that cannot be cut back.
    {"mapped, longer settings", Kind::mapped, false, &longer_settings, true, owners},
    // Identities that tell nothing, or change with a rename.
    {"plain, Windows, no file IDs", Kind::plain, true, &longer_settings, true, owners, Ids::all_zero},
    {"held, Windows, no file IDs", Kind::held, true, &shorter_settings, true, owners, Ids::all_zero},
    {"held, Windows, one file ID for all", Kind::held, true, &shorter_settings, true, owners,
     Ids::all_the_same},
    {"symbolic link, Windows, one file ID for all", Kind::symbolic_link, true, &longer_settings,
     true, owners, Ids::all_the_same},
    {"plain, Windows, FAT", Kind::plain, true, &longer_settings, true, owners,
     Ids::change_on_rename},
    {"no new files", Kind::no_new_files, true, &longer_settings, true, owners},
    {"after a cut between the replace's renames", Kind::between_renames, true, &longer_settings,
     true, inherited},
    // Leftovers are tidied away only after a save that found the file.
    {"plain, Windows, leftovers", Kind::plain, true, &longer_settings, true, owners, Ids::unique,
     Beside::leftovers},
    {"first save, leftovers", Kind::first_save, true, &longer_settings, true, inherited,
     Ids::unique, Beside::leftovers},
    // Names that another editor holds are never taken over; without the
    // name that says whole, the new file goes in by the one-step move.
    {"plain, Windows, backup names taken", Kind::plain, true, &longer_settings, true, owners,
     Ids::unique, Beside::backups_at},
    {"plain, Windows, whole names taken", Kind::plain, true, &longer_settings, true, inherited,
     Ids::unique, Beside::replacing_at},
    // The clock set back since the file was written: its date says nothing.
    {"hard link, dated a day ahead", Kind::hard_link, true, &longer_settings, true, owners,
     Ids::unique, Beside::nothing, day_s},
};
// clang-format on

// What earlier saves left beside the file, named and written an hour ago;
// beside no file, no new settings, which a start would show.
std::vector<std::string> leftovers(const Situation& situation) {
    std::vector<std::string> paths;
    for (const TempKind kind :
         {TempKind::writing, TempKind::replacement, TempKind::beside, TempKind::backup})
        if (situation.beside == Beside::leftovers &&
            (situation.has_old() || kind != TempKind::replacement))
            paths.push_back(folder + temp_name(kind, fake::system().now_s - 3600));
    return paths;
}

// The copies that a cut-off replace left, which the start shows or finds
// older: the new settings whole, and older ones, dated ahead, moved aside.
std::vector<std::string> copies_left(const Situation& situation) {
    if (situation.kind != Kind::between_renames)
        return {};
    const long long now = fake::system().now_s;
    return {folder + temp_name(TempKind::replacement, now - 120),
            folder + temp_name(TempKind::backup, now - 120)};
}

// The user's own files beside the settings, some named much like the
// save's own, and the other programs' files, each with what it holds.
void add_others(const Situation& situation) {
    fake::System& system = fake::system();
    const auto add = [&](const std::string& path, const std::string& bytes) {
        fake::add_file(path, bytes)->written_s -= 30 * day_s;
        system.others[path] = bytes;
    };
    add("C:\\pub\\readme.txt", "the user's");
    add(folder + earlier_name("k2v9q"), "an earlier version's");
    static const std::vector<std::string> look_alike = look_alike_names();
    for (const std::string& name : look_alike)
        add(folder + name, "the user's: " + name);
    const TempKind kind = situation.beside == Beside::backups_at     ? TempKind::backup
                          : situation.beside == Beside::replacing_at ? TempKind::replacement
                                                                     : TempKind::none;
    for (long long at = 0; kind != TempKind::none && at < 6; ++at)
        add(folder + temp_name(kind, system.now_s + at), "another editor's");
}

void set_up(const Situation& situation) {
    fake::reset();
    fake::System& system = fake::system();
    system.keeping_replace = situation.keeping_replace;
    system.ids = situation.ids;
    system.no_new_files = situation.kind == Kind::no_new_files;
    for (const char* const where : {"C:\\pub\\", "C:\\real\\"})
        fake::add_file(where, "")->folder = true;
    add_others(situation);
    for (const std::string& path : leftovers(situation))
        fake::add_file(path, "left by an earlier save")->written_s -= 3600;
    const std::vector<std::string> copies = copies_left(situation);
    if (!copies.empty()) {
        fake::add_file(copies[0], old_bytes)->written_s -= 3 * day_s;
        fake::add_file(copies[1], text_of(shorter_settings))->written_s += 3600;
    }
    if (situation.has_old()) {
        const auto file =
            fake::add_file(situation.behind_link() ? linked_file : settings_file, old_bytes);
        file->hidden = true;
        file->security = owners;
        file->written_s = file->durable_written_s = system.now_s + situation.dated_s;
        file->read_only = situation.kind == Kind::read_only_behind_link;
        file->held = situation.kind == Kind::held || situation.kind == Kind::mapped;
        file->mapped = situation.kind == Kind::mapped;
        if (situation.behind_link())
            fake::add_link(target, linked_file);
        if (situation.kind == Kind::hard_link)
            fake::add_name(second_name, file);
    }
}

// The names and files at one moment, copied: the fake's files change in
// place. Two names of one file stay one file.
fake::Names snapshot() {
    fake::Names names = fake::system().names;
    std::map<const fake::Data*, std::shared_ptr<fake::Data>> copies;
    for (auto& [name, entry] : names)
        if (entry.data) {
            auto& copy = copies[entry.data.get()];
            if (!copy)
                copy = std::make_shared<fake::Data>(*entry.data);
            entry.data = copy;
        }
    return names;
}

// Whether two moments hold the same names with the same bytes and marks.
bool same(const fake::Names& a, const fake::Names& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        const fake::Data* p = x.second.data.get();
        const fake::Data* q = y.second.data.get();
        return x.first == y.first && x.second.link == y.second.link && !p == !q &&
               (!p ||
                (p->bytes == q->bytes && p->security == q->security && p->hidden == q->hidden));
    });
}

// When, in a cut run, the power went, and what it kept of the last moments.
struct Cut {
    std::size_t after;   // the call
    std::size_t changes; // of the names since they were last durable
    fake::Lost lost;
};

// One save of a situation under a plan of failures, or cut off by a power
// cut, what it left, and what the next start and its OK then did.
struct Trial {
    const Situation& situation;
    std::vector<Failure> plan;
    const Trial* clean; // the situation's run without failures; null for that one
    std::optional<Cut> cut;
    std::string new_bytes = text_of(*situation.saved);
    std::vector<std::string> leftovers = ::leftovers(situation);
    std::vector<std::string> copies = copies_left(situation);
    std::uint64_t old_index = fake::file_at(target) ? fake::file_at(target)->index : 0;
    // Those made before the save: a power cut may take those made during it.
    std::map<std::string, std::string> others_before = fake::system().others;
    StartLoad before = {}; // the start whose OK saved
    bool saved = false, saved_again = false;
    std::vector<Call> calls = {};
    std::vector<Outcome> outcomes = {};
    std::map<std::string, std::string> others = {};
    std::size_t journal = 0; // name changes since the names were last durable
    fake::Names left = {};   // as the save, or the power cut, left them
    // An hour later: the next start, what it showed, and the names after its OK.
    StartLoad next = {};
    SettingsMap shown = {};
    fake::Names after_ok = {};

    static const fake::Data* at(const fake::Names& names, const std::string& path) {
        const auto it = names.find(path);
        return it == names.end() ? nullptr : it->second.data.get();
    }
    // The settings file, past a link.
    static const fake::Data* file(const fake::Names& names) {
        const auto it = names.find(settings_file);
        return it == names.end() ? nullptr
               : it->second.data ? at(names, settings_file)
                                 : at(names, linked_file);
    }
    const fake::Data* file() const { return file(left); }
    bool file_is(const std::string& bytes) const { return file() && file()->bytes == bytes; }
    bool reads_as(const SettingsMap& map) const {
        SettingsMap read;
        parse_settings(file() ? file()->bytes : "", read, sep);
        return file() && read == map;
    }
    // Whether a file of `kind` holds `bytes`.
    bool holds_copy(const std::string& bytes, TempKind kind) const {
        return std::any_of(left.begin(), left.end(), [&](const auto& entry) {
            return kind_of(entry.first) == kind && entry.second.data &&
                   entry.second.data->bytes == bytes;
        });
    }
    // The names of the save's own: the editor's kinds, but what was there.
    std::vector<std::string> own(const fake::Names& names) const {
        std::vector<std::string> found;
        for (const auto& [name, entry] : names)
            if (is_ours(name) && !listed(leftovers, name) && !listed(copies, name) &&
                !others.count(name))
                found.push_back(name);
        return found;
    }
    // Of the calls of `call` that failed, those with `outcome` where given.
    std::size_t failures(Call call, Outcome outcome = Outcome::none) const {
        std::size_t n = 0;
        for (std::size_t i = 0; i < calls.size(); ++i)
            n += calls[i] == call && outcomes[i] != Outcome::none &&
                 (outcome == Outcome::none || outcomes[i] == outcome);
        return n;
    }
    bool failed(Call call) const { return failures(call) > 0; }
    // The plan's one failure, of `call` in one of `ways`, came before the
    // first call of `before` (sync_folder: any) and was the first of its kind
    // where `first` says so.
    bool only_failure(Call call, std::vector<Outcome> ways, Call before = Call::sync_folder,
                      bool first = false) const {
        if (!clean || cut || plan.size() != 1 || calls[plan[0].call] != call ||
            std::find(ways.begin(), ways.end(), plan[0].outcome) == ways.end())
            return false;
        const auto index = [&](Call c) {
            return std::find(calls.begin(), calls.end(), c) - calls.begin();
        };
        return index(before) > static_cast<std::ptrdiff_t>(plan[0].call) &&
               (!first || index(call) == static_cast<std::ptrdiff_t>(plan[0].call));
    }
    bool only_brief_refusals() const {
        return std::all_of(plan.begin(), plan.end(), [&](const Failure& f) {
            return f.call < outcomes.size() && outcomes[f.call] == Outcome::busy;
        });
    }
    // A write over the file itself failed, and so did putting the old bytes
    // back; or the power went while it was written over: the ways that may
    // leave a mix.
    bool may_mix() const {
        bool writing = false;
        int failed_in_place = 0;
        for (std::size_t i = 0; i < calls.size() && (!cut || i <= cut->after); ++i) {
            const bool in_place = calls[i] == Call::write_at || calls[i] == Call::set_size;
            writing = in_place || (writing && calls[i] != Call::close);
            failed_in_place += (in_place || calls[i] == Call::sync) && outcomes[i] != Outcome::none;
        }
        return cut ? writing : failed_in_place >= 2;
    }
    // The folder took no copy of the new settings to wait beside the file.
    bool no_copy_possible() const {
        return situation.kind == Kind::no_new_files || failures(Call::create_new, Outcome::failed);
    }
    // Another program made the settings file, or the copy shown: from then
    // on what it holds is theirs, not the save's to answer for.
    bool another_wrote() const {
        return others.count(settings_file) || others.count(linked_file) ||
               others.count(fake::normalized(next.source));
    }
    static bool listed(const std::vector<std::string>& paths, const std::string& name) {
        return std::any_of(paths.begin(), paths.end(),
                           [&](const std::string& p) { return fake::normalized(p) == name; });
    }
    // The names of `paths` that stay, or go, as `stay` says.
    bool kept_unless(const std::vector<std::string>& paths, bool go, bool excused) const {
        return std::all_of(paths.begin(), paths.end(), [&](const std::string& n) {
            return go ? !at(left, n) || excused : at(left, n) != nullptr;
        });
    }
    bool next_shows_old_or_new() const {
        return next.status == ReadStatus::read
                   ? shown == old_settings || shown == *situation.saved
                   : !situation.shows_old() && next.status == ReadStatus::not_found;
    }
    // OK deleted exactly the copies the start showed or found older and,
    // where it found the file, every file of the editor's: an hour on, all
    // of them are stale.
    bool ok_deleted_as_told() const {
        fake::Names kept, now;
        for (const auto& [name, entry] : left)
            if (is_ours(name) && !next.file_found && !listed({next.shown_copy}, name) &&
                !listed(next.older_copies, name))
                kept[name] = entry;
        for (const auto& [name, entry] : after_ok)
            if (is_ours(name))
                now[name] = entry;
        return same(now, kept);
    }
    bool links_kept(const fake::Names& names) const {
        const auto it = names.find(settings_file);
        const std::string link = it == names.end() ? "" : it->second.link;
        return link == (situation.behind_link() ? linked_file : "") &&
               (situation.kind != Kind::hard_link ||
                (at(names, second_name) && at(names, second_name) == at(names, settings_file)));
    }
    // Files under the editor's names are its own to tidy once stale, and a
    // settings file is the user's to save over.
    bool others_kept(const fake::Names& names) const {
        for (const auto& [name, bytes] : cut ? others_before : others)
            if ((&names == &left ||
                 (!is_ours(name) && name != settings_file && name != linked_file)) &&
                (!at(names, name) || at(names, name)->bytes != bytes))
                return false;
        return true;
    }
};

// With `follow_up` false, the run ends with the save, before any power cut.
Trial run(const Situation& situation, const std::vector<Failure>& plan, const Trial* clean,
          std::optional<Cut> cut = std::nullopt, bool follow_up = true) {
    set_up(situation);
    Trial run{situation, plan, clean, cut};
    SettingsMap shown_before;
    run.before = load_settings_at_start(shown_before, target, sep);
    fake::System& system = fake::system();
    system.calls.clear();
    system.outcomes.clear();
    system.plan = plan;
    if (cut)
        system.cut_after = cut->after;
    run.saved = save_settings(*situation.saved, target, sep, run.before);
    run.calls = system.calls;
    run.outcomes = system.outcomes;
    run.journal = system.journal.size();
    if (!follow_up)
        return run;
    if (cut) {
        fake::power_cut(cut->changes, cut->lost);
        run.saved = false;
    }
    run.others = system.others;
    run.left = snapshot();
    system.plan.clear();
    system.now_s += 3600;
    run.next = load_settings_at_start(run.shown, target, sep);
    if (run.next.status != ReadStatus::unreadable && situation.kind != Kind::read_only_behind_link)
        run.saved_again = save_settings(run.shown, target, sep, run.next);
    run.after_ok = snapshot();
    return run;
}

// What every run must keep, whatever failed: what the rule guards, the runs
// it applies to, and the check, both of the run `s`.
struct Rule {
    const char* guards;
    bool (*applies)(const Trial&);
    bool (*holds)(const Trial&);
};
#define RULE(guards, applies, holds)                                                               \
    {                                                                                              \
        guards, []([[maybe_unused]] const Trial& s) -> bool { return applies; },                   \
            []([[maybe_unused]] const Trial& s) -> bool { return holds; }                          \
    }

const Rule rules[] = {
    // What the save said, and left.
    RULE("a save that says it saved leaves exactly the new file", s.saved, s.file_is(s.new_bytes)),
    RULE("a save that says it saved closed the file it wrote without a failure", s.saved,
         s.file() && !s.file()->not_closed),
    RULE("one failure leaves one whole file or the other, byte for byte",
         !s.cut && !s.saved && s.plan.size() <= 1 && !s.may_mix() && !s.another_wrote(),
         s.situation.has_old() ? s.file_is(old_bytes) || s.file_is(s.new_bytes)
                               : !s.file() || s.file_is(s.new_bytes)),
    RULE("a failed save leaves a file that reads as the old settings or the new, or none",
         !s.cut && !s.saved && !s.may_mix() && !s.another_wrote(),
         !s.file() || s.reads_as(old_settings) || s.file_is(s.new_bytes) ||
             (s.situation.has_old() && s.reads_as(*s.situation.saved))),
    RULE("where no save may be, none is reported", !s.situation.saves, !s.saved),
    RULE("a link that cannot be followed, a refused replace: another way to write, as sure",
         s.only_failure(Call::link_target, {Outcome::unknown}) ||
             s.only_failure(Call::replace_file, {Outcome::failed, Outcome::replaced_not_removed,
                                                 Outcome::replacement_not_moved}),
         s.saved == s.clean->saved),
    RULE("a name that another program took is passed for the next one",
         s.only_failure(Call::create_new, {Outcome::exists}),
         s.saved == s.clean->saved && (!s.saved || s.file()->security == s.situation.security)),
    RULE("without its temporary file a save writes over the file, where there is one",
         s.only_failure(Call::create_new, {Outcome::failed}, Call::sync_folder, true),
         s.situation.has_old()
             ? s.saved == s.clean->saved && (!s.saved || s.file()->index == s.old_index)
             : !s.saved && !s.file()),
    RULE("a temporary file that did not reach the disk whole never goes in",
         s.situation.kind == Kind::plain &&
             (s.only_failure(Call::write, {Outcome::failed, Outcome::part_written},
                             Call::move_file) ||
              s.only_failure(Call::sync, {Outcome::failed}, Call::move_file) ||
              s.only_failure(Call::close, {Outcome::failed}, Call::move_file)),
         !s.saved && s.file_is(old_bytes)),
    RULE("a file whose attributes or identity cannot be told is not saved",
         s.situation.has_old() &&
             (s.only_failure(Call::attributes_of, {Outcome::unknown}, Call::sync_folder, true) ||
              s.only_failure(Call::identity_of, {Outcome::unknown}, Call::sync_folder, true)),
         !s.saved && s.file_is(old_bytes)),
    RULE("a refusal for now is waited out: the end is as if it never happened",
         s.clean && !s.cut && s.only_brief_refusals(),
         s.saved == s.clean->saved && same(s.left, s.clean->left)),
    RULE("the system's replace is not used where it moves the old file away first",
         !s.situation.keeping_replace,
         std::count(s.calls.begin(), s.calls.end(), Call::replace_file) == 0),
    RULE("a save keeps the hidden attribute", s.saved&& s.situation.has_old(),
         s.file() && s.file()->hidden),
    RULE("no settings file is left but by a cut, or where the old one is aside and both moves "
         "back failed; then whole copies of the old and the new wait beside it",
         s.situation.has_old() && !s.file(),
         (s.cut || (s.failures(Call::replace_file, Outcome::replacement_not_moved_2) &&
                    s.failures(Call::move_file) >= 2)) &&
             s.holds_copy(old_bytes, TempKind::backup) &&
             s.holds_copy(s.new_bytes, TempKind::replacement)),
    // A file written over whose close failed may not be whole either.
    RULE("the save's own files go, but where a deletion failed or they hold the only whole copy",
         !s.cut && !s.failed(Call::remove) && !s.another_wrote(),
         s.own(s.left).empty() ||
             ((s.may_mix() || s.failed(Call::close)) && s.own(s.left).size() == 1 &&
              s.holds_copy(s.new_bytes, TempKind::beside)) ||
             (!s.file() && s.own(s.left).size() == 2 && s.holds_copy(old_bytes, TempKind::backup) &&
              s.holds_copy(s.new_bytes, TempKind::replacement))),
    RULE("where a mix may be left, a whole copy of the new settings waits beside the file",
         s.may_mix() && !s.no_copy_possible() && s.file() && !s.reads_as(old_settings) &&
             !s.reads_as(*s.situation.saved),
         s.holds_copy(s.new_bytes, TempKind::beside)),
    RULE("earlier saves' leftovers go only after a save whose start found the file, the copies "
         "it showed or found older only after the save",
         !s.cut,
         s.kept_unless(s.leftovers, s.saved&& s.before.file_found,
                       s.failed(Call::remove) || s.failed(Call::files_in)) &&
             s.kept_unless(s.copies, s.saved, s.failed(Call::remove))),
    RULE("no name is left beside the settings that is not the situation's or the save's", true,
         std::all_of(s.left.begin(), s.left.end(),
                     [&s](const auto& e) {
                         return e.first == settings_file || e.first == linked_file ||
                                e.first == second_name || is_ours(e.first) ||
                                s.others.count(e.first) || !e.second.data || e.second.data->folder;
                     })),
    // What the next start shows, and what its OK does.
    RULE("the next start shows the old settings or the new",
         !(s.may_mix() && s.no_copy_possible()) && !s.another_wrote(), s.next_shows_old_or_new()),
    RULE("OK after the next start saves what it showed",
         s.next.status != ReadStatus::unreadable &&
             s.situation.kind != Kind::read_only_behind_link &&
             (s.cut || s.situation.kind != Kind::mapped),
         s.saved_again&& Trial::file(s.after_ok) &&
             Trial::file(s.after_ok)->bytes == text_of(s.shown)),
    RULE("OK deletes the copies it showed or found older, and leftovers only where the file was",
         s.saved_again, s.ok_deleted_as_told()),
    RULE("a symbolic link stays a link to its file, a second name names it", true,
         s.links_kept(s.left) && s.links_kept(s.after_ok)),
    RULE("the user's files and other programs' stay as they were", true,
         s.others_kept(s.left) && s.others_kept(s.after_ok)),
};
#undef RULE

// The rules that the run breaks, one a line; empty when it keeps them all.
std::string broken_rules(const Trial& run) {
    std::string broken;
    for (const Rule& rule : rules)
        if (rule.applies(run) && !rule.holds(run))
            broken += "broken: " + std::string(rule.guards) + "\n";
    return broken;
}

// The plan, the cut, and the names the save left beside the settings.
std::string described(const Trial& run) {
    std::ostringstream out;
    const auto call = [&](std::size_t i) {
        return i < run.calls.size() ? fake::name_of(run.calls[i]) : "?";
    };
    for (const Failure& failure : run.plan)
        out << "call " << failure.call << " (" << call(failure.call) << ") "
            << fake::name_of(failure.outcome) << "; ";
    const char* const lost[] = {"kept", "lost", "torn"};
    if (run.cut)
        out << "power cut after call " << run.cut->after << " (" << call(run.cut->after) << "), "
            << run.cut->changes << " name changes kept, unsynced bytes "
            << lost[static_cast<int>(run.cut->lost)] << "; ";
    for (const auto& [name, entry] : run.left)
        if (is_ours(name))
            out << "left " << name << "; ";
    return out.str();
}

} // namespace

// The failures come alone, in pairs, and in threes where the old file has
// left its name. The power goes after any call, alone and after one
// failure; the names come back as the file system's log had them after any
// number of the changes made since they were last durable, and the bytes
// written since a file's last sync all there, all gone, or torn.
TEST(SaveFaults, EveryFailureAndEveryPowerCutLeaveTheOldSettingsOrTheNew) {
    std::size_t failing = 0, cut_off = 0;
    for (const Situation& situation : situations) {
        SCOPED_TRACE(situation.name);
        const Trial clean = run(situation, {}, nullptr);
        ASSERT_EQ(broken_rules(clean), "") << described(clean);
        EXPECT_EQ(clean.saved, situation.saves);
        ASSERT_TRUE(clean.file());
        EXPECT_EQ(clean.file()->security, situation.security);
        // Each run is checked; the first five that break a rule are told.
        std::size_t runs = 0;
        int reported = 0;
        const auto check = [&](const std::vector<Failure>& plan,
                               std::optional<Cut> cut = std::nullopt) {
            Trial failed = run(situation, plan, &clean, cut);
            ++runs;
            const std::string broken = broken_rules(failed);
            if (!broken.empty() && ++reported <= 5)
                ADD_FAILURE() << broken << "after " << described(failed);
            return failed;
        };
        for (std::size_t i = 0; i < clean.calls.size(); ++i)
            for (const Outcome first : fake::failures_of(clean.calls[i])) {
                const Trial once = check({{i, first}});
                for (std::size_t j = i + 1; j < once.calls.size(); ++j)
                    for (const Outcome second : fake::failures_of(once.calls[j])) {
                        const Trial twice = check({{i, first}, {j, second}});
                        for (std::size_t k = j + 1;
                             first == Outcome::replacement_not_moved_2 && k < twice.calls.size();
                             ++k)
                            for (const Outcome third : fake::failures_of(twice.calls[k]))
                                check({{i, first}, {j, second}, {k, third}});
                    }
            }
        failing += runs;
        const auto cut = [&](const std::vector<Failure>& plan, std::size_t after) {
            const Trial until =
                run(situation, plan, &clean, Cut{after, 0, fake::Lost::nothing}, false);
            for (std::size_t kept = 0; kept < std::max<std::size_t>(until.journal, 1); ++kept)
                for (const fake::Lost lost :
                     {fake::Lost::nothing, fake::Lost::unsynced, fake::Lost::torn})
                    check(plan, Cut{after, kept, lost});
        };
        for (std::size_t after = 0; after < clean.calls.size(); ++after)
            cut({}, after);
        for (std::size_t i = 0; i < clean.calls.size(); ++i)
            for (const Outcome first : fake::failures_of(clean.calls[i])) {
                const Trial once = run(situation, {{i, first}}, &clean, std::nullopt, false);
                for (std::size_t after = i; after < once.calls.size(); ++after)
                    cut({{i, first}}, after);
            }
        cut_off += runs;
    }
    std::printf("%zu saves with one, two or three failures; %zu starts after a power cut\n",
                failing, cut_off - failing);
}

// What a start shows for each thing that a folder may hold after a cut-off
// save, and what its OK leaves of them. A file is written as "KIND HOLDS
// WRITTEN [locked] [one-read]": KIND the file's name (k, i, o, w, or b of
// an earlier version; f for mabiru.dat), HOLDS the host it holds, WRITTEN
// its last write from now in seconds, hours or days; locked by another
// program until the start is done, or its second block unreadable. The copies were named an
// hour ago, so that the tidy-up takes them wherever it runs.
TEST(StartAfterACut, ShowsTheFileOrTheCopyThatStandsForItAndOkDeletesOnlyWhatItRead) {
    const struct Row {
        const char* pins;
        std::vector<const char*> files;
        const char* shows;             // the host shown; "" for the defaults, "box" for none
        std::vector<std::size_t> stay; // the copies left after OK
    } rows[] = {
        // clang-format off
        {"the file alone", {"f old -3d"}, "old", {}},
        {"between the renames, the backup dated ahead: by its name, the new copy",
         {"o old 1h", "k new -3d"}, "new", {}},
        {"a first save cut inside a line: never shown", {"w ne -60s"}, "", {0}},
        {"an earlier version's file proves nothing", {"b new -60s"}, "", {0}},
        {"a lone backup after the file was deleted: the defaults", {"o old -60s"}, "", {0}},
        {"a copy beside a deleted file: the defaults", {"i new -60s"}, "", {0}},
        {"new settings beside the file never outrank it", {"f old -3d", "k new -60s"}, "old", {}},
        {"a file cut off while written over: its copy", {"i new -10s", "f mix -9s"}, "new", {}},
        {"a copy older than a hand-edited file: the file", {"i old -3d", "f new -10s"}, "new", {}},
        {"the clock set back, then a hand edit: the file", {"i old 1h", "f new -10s"}, "new", {}},
        {"the old file dated ahead, cut before it was dated anew: the file",
         {"i new -10s", "f old 1d"}, "old", {}},
        {"the newest copy unreadable: nothing shown, nothing touched",
         {"k new -10s locked", "k old -1h"}, "box", {0, 1}},
        {"an older copy unreadable: the newest, and the unread one stays",
         {"k new -10s", "k old -1h locked"}, "new", {1}},
        {"the file unreadable: the copy for it", {"i new -10s", "f mix -9s locked"}, "new", {}},
        {"the file and the copy for it unreadable: nothing shown",
         {"i new -10s locked", "f mix -9s locked"}, "box", {0}},
        {"the file's second block unreadable: nothing shown", {"f old -10s one-read"}, "box", {}},
        // clang-format on
    };
    const TempKind kinds[] = {TempKind::none,        TempKind::earlier, TempKind::writing,
                              TempKind::replacement, TempKind::beside,  TempKind::backup};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pins);
        fake::reset();
        const long long now = fake::system().now_s;
        fake::add_file(folder, "")->folder = true;
        std::vector<std::string> copies;
        for (const char* const placed : row.files) {
            std::istringstream in(placed);
            char letter = 0, unit = 0;
            std::string holds, mark;
            long long written = 0;
            in >> letter >> holds >> written >> unit >> mark;
            written *= unit == 'd' ? day_s : unit == 'h' ? 3600 : 1;
            const TempKind kind = kinds[std::string("fbwkio").find(letter)];
            const std::string name = kind == TempKind::none ? "mabiru.dat"
                                     : kind == TempKind::earlier
                                         ? earlier_name("k2v9q")
                                         : temp_name(kind, now - 3600 + copies.size());
            // Over a block long, but for a part cut inside its first line.
            const std::string bytes =
                "host\x01" + holds + (holds == "ne" ? "" : "\r\n" + list_of("padding", 1 << 16));
            const auto data = fake::add_file(folder + name, bytes);
            data->written_s = now + written;
            data->locked = data->held = mark == "locked";
            data->reads_left = mark == "one-read" ? 1 : -1;
            if (kind != TempKind::none)
                copies.push_back(folder + name);
        }
        SettingsMap shown;
        const StartLoad start = load_settings_at_start(shown, target, sep);
        EXPECT_EQ(start.status == ReadStatus::unreadable ? "box" : shown["host"], row.shows);
        for (auto& [name, entry] : fake::system().names)
            if (entry.data)
                entry.data->locked = entry.data->held = false;
        if (start.status != ReadStatus::unreadable) {
            ASSERT_TRUE(save_settings({{"host", "saved"}}, target, sep, start));
            EXPECT_EQ(fake::file_at(target)->bytes, "host\x01saved\r\n");
        }
        for (std::size_t i = 0; i < copies.size(); ++i)
            EXPECT_EQ(fake::file_at(copies[i]) != nullptr,
                      std::count(row.stay.begin(), row.stay.end(), i) == 1)
                << copies[i];
    }
}
