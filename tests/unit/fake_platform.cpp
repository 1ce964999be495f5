#include "fake_platform.h"

#include "settings/platform.h"

#include <algorithm>
#include <optional>

namespace fake {
namespace {

struct Open {
    std::shared_ptr<Data> data;
    std::size_t position = 0;
    bool wrote = false;
};

System the_system;
std::map<std::intptr_t, Open> open_files;
std::intptr_t next_handle = 100;
std::uint64_t next_index = 1;

// Counts the call and answers how the plan makes it fail, if it does.
Outcome step(Call call) {
    const std::size_t n = the_system.calls.size();
    the_system.calls.push_back(call);
    // After a power cut the process is gone: nothing it asks has an effect.
    if (n > the_system.cut_after) {
        the_system.outcomes.push_back(Outcome::failed);
        return Outcome::failed;
    }
    Outcome outcome = Outcome::none;
    for (const Failure& failure : the_system.plan) {
        const std::vector<Outcome> ways = failures_of(call);
        if (failure.call == n && std::find(ways.begin(), ways.end(), failure.outcome) != ways.end())
            outcome = failure.outcome;
    }
    the_system.outcomes.push_back(outcome);
    return outcome;
}

// A planned failure of a call that answers a Result, as that Result.
std::optional<sys::Result> refused(Call call) {
    const Outcome outcome = step(call);
    if (outcome == Outcome::none)
        return std::nullopt;
    return outcome == Outcome::not_found ? sys::Result::not_found
           : outcome == Outcome::exists  ? sys::Result::exists
           : outcome == Outcome::busy    ? sys::Result::busy
                                         : sys::Result::failed;
}

std::string folder_of(const std::string& normal) {
    const std::size_t slash = normal.rfind('\\');
    return slash == std::string::npos ? "" : normal.substr(0, slash + 1);
}

// The name a path leads to, past symbolic links.
std::string resolve(const std::string& path) {
    std::string at = normalized(path);
    for (int hops = 0; hops < 8; ++hops) {
        const auto it = the_system.names.find(at);
        if (it == the_system.names.end() || it->second.data)
            return at;
        at = normalized(it->second.link);
    }
    return at;
}

sys::File open_file(const std::shared_ptr<Data>& data) {
    const std::intptr_t handle = next_handle++;
    open_files[handle] = {data, 0};
    return sys::File(handle);
}

Open& opened(sys::File& file) {
    return open_files.at(file.handle());
}

sys::Result open_existing(Call call, const std::string& path, sys::File& file) {
    if (const auto planned = refused(call))
        return *planned;
    const auto data = file_at(path);
    if (!data)
        return sys::Result::not_found;
    if (data->folder)
        return sys::Result::failed;
    if (data->locked)
        return sys::Result::busy;
    file = open_file(data);
    return sys::Result::ok;
}

void put(std::string& bytes, std::size_t at, const char* data, std::size_t n) {
    if (bytes.size() < at + n)
        bytes.resize(at + n, '\0');
    bytes.replace(at, n, data, n);
}

bool in_use(const std::shared_ptr<Data>& data) {
    return data && (data->held || data->mapped);
}

// Changes the names, as one step of the file system's log.
template <class Change> void change_names(Change change) {
    if (the_system.journal.empty())
        the_system.journal.push_back(the_system.names);
    change(the_system.names);
    the_system.journal.push_back(the_system.names);
}

// A file's content changed by a write that is not yet on the disk.
void written(Data& data) {
    data.unsynced.push_back(data.bytes);
    data.written_s = the_system.now_s;
}

// Another program makes a file of that name, unless one is there.
void made_by_another(const std::string& path) {
    if (the_system.names.count(normalized(path)))
        return;
    const std::string bytes = "theirs: " + normalized(path);
    change_names([&](Names&) { add_file(path, bytes); });
    the_system.others[normalized(path)] = bytes;
}

// A file that has just taken another name, as FAT may renumber it.
void renamed(const std::shared_ptr<Data>& data) {
    if (data && the_system.ids == Ids::change_on_rename)
        data->index = next_index++;
}

} // namespace

#define FAKE_CALL_NAME(name, ...) #name,
#define FAKE_OUTCOME_NAME(name) #name,
const char* name_of(Call call) {
    static const char* const names[] = {FAKE_CALLS(FAKE_CALL_NAME)};
    return names[static_cast<int>(call)];
}

const char* name_of(Outcome outcome) {
    static const char* const names[] = {FAKE_OUTCOMES(FAKE_OUTCOME_NAME)};
    return names[static_cast<int>(outcome)];
}
#undef FAKE_CALL_NAME
#undef FAKE_OUTCOME_NAME

std::vector<Outcome> failures_of(Call call) {
    using O = Outcome;
    switch (call) {
#define FAKE_FAILURES(name, ...)                                                                   \
    case Call::name:                                                                               \
        return {__VA_ARGS__};
        FAKE_CALLS(FAKE_FAILURES)
#undef FAKE_FAILURES
    }
    return {};
}

System& system() {
    return the_system;
}

void reset() {
    the_system = System();
    open_files.clear();
}

void power_cut(std::size_t changes, Lost lost, std::size_t torn_at) {
    System& system = the_system;
    if (!system.journal.empty())
        system.names = system.journal[std::min(changes, system.journal.size() - 1)];
    for (auto& [name, entry] : system.names) {
        Data* const data = entry.data.get();
        if (!data)
            continue;
        if (!data->unsynced.empty() && lost != Lost::nothing) {
            data->written_s = data->durable_written_s;
            // All of it lost, or the sectors from `torn_at` on.
            std::string bytes = lost == Lost::torn ? data->unsynced.back() : data->durable;
            for (std::size_t i = torn_at; lost == Lost::torn && i < bytes.size(); ++i)
                bytes[i] = i < data->durable.size() ? data->durable[i] : '\0';
            data->bytes = bytes;
        }
        data->durable = data->bytes;
        data->durable_written_s = data->written_s;
        data->unsynced.clear();
        data->held = data->mapped = data->locked = false;
    }
    system.journal.clear();
    system.cut_after = static_cast<std::size_t>(-1);
    open_files.clear();
}

std::string normalized(const std::string& path) {
    std::string out;
    for (const char c : path) {
        const char d = c == '/' ? '\\' : c;
        if (d == '\\' && !out.empty() && out.back() == '\\')
            continue;
        out += d;
    }
    return out;
}

std::shared_ptr<Data> add_file(const std::string& path, const std::string& bytes) {
    auto data = std::make_shared<Data>();
    data->bytes = data->durable = bytes;
    data->index = next_index++;
    data->written_s = data->durable_written_s = the_system.now_s;
    add_name(path, data);
    return data;
}

void add_name(const std::string& path, const std::shared_ptr<Data>& data) {
    the_system.names[normalized(path)] = Entry{data, ""};
}

void add_link(const std::string& path, const std::string& target) {
    the_system.names[normalized(path)] = Entry{nullptr, target};
}

std::shared_ptr<Data> file_at(const std::string& path) {
    const auto it = the_system.names.find(resolve(path));
    return it == the_system.names.end() ? nullptr : it->second.data;
}

} // namespace fake

namespace sys {

using fake::Call;
using fake::Outcome;

bool File::close() {
    if (!is_open())
        return true;
    const Outcome outcome = fake::step(Call::close);
    if (outcome != Outcome::none && fake::open_files[handle_].wrote)
        fake::open_files[handle_].data->not_closed = true;
    fake::open_files.erase(handle_);
    handle_ = invalid;
    return outcome == Outcome::none;
}

Result open_for_reading(const std::string& path, File& file, std::size_t& size) {
    const Result result = fake::open_existing(Call::open_for_reading, path, file);
    size = result == Result::ok ? fake::opened(file).data->bytes.size() : 0;
    return result;
}

Result read(File& file, char* buffer, std::size_t n, std::size_t& got) {
    got = 0;
    fake::Open& open = fake::opened(file);
    if (fake::step(Call::read) != Outcome::none || open.data->reads_left-- == 0)
        return Result::failed;
    got = std::min(n, open.data->bytes.size() - std::min(open.position, open.data->bytes.size()));
    std::copy_n(open.data->bytes.data() + open.position, got, buffer);
    open.position += got;
    return Result::ok;
}

Attributes attributes_of(const std::string& path) {
    Attributes attributes;
    if (fake::step(Call::attributes_of) != Outcome::none)
        return attributes;
    const auto it = fake::the_system.names.find(fake::normalized(path));
    if (it == fake::the_system.names.end())
        return attributes;
    attributes.exists = true;
    if (!it->second.data) {
        attributes.link = true;
        return attributes;
    }
    const fake::Data& data = *it->second.data;
    attributes.read_only = data.read_only;
    attributes.folder = data.folder;
    attributes.kept = data.hidden ? 2 : 0;
    return attributes;
}

Identity identity_of(const std::string& path) {
    Identity identity;
    if (fake::step(Call::identity_of) != Outcome::none)
        return identity;
    const auto data = fake::file_at(path);
    if (!data)
        return identity;
    identity.known = true;
    const bool zero = fake::the_system.ids == fake::Ids::all_zero;
    identity.volume = zero ? 0 : 7;
    identity.index = zero ? 0 : fake::the_system.ids == fake::Ids::all_the_same ? 1 : data->index;
    identity.read_only = data->read_only;
    identity.written_s = data->written_s;
    for (const auto& [name, entry] : fake::the_system.names)
        identity.names += entry.data == data ? 1 : 0;
    return identity;
}

std::string final_path_of(const std::string& path) {
    const Outcome outcome = fake::step(Call::final_path_of);
    const std::string at = fake::resolve(path);
    if (outcome == Outcome::unknown || !fake::the_system.names.count(at))
        return "";
    return outcome == Outcome::elsewhere ? fake::the_system.elsewhere : at;
}

std::string link_target(const std::string& path) {
    if (fake::step(Call::link_target) != Outcome::none)
        return "";
    const auto it = fake::the_system.names.find(fake::normalized(path));
    return it == fake::the_system.names.end() || it->second.data ? "" : it->second.link;
}

Result create_new(const std::string& path, std::uint32_t kept, File& file) {
    const auto planned = fake::refused(Call::create_new);
    if (planned == Result::exists)
        fake::made_by_another(path);
    if (planned)
        return *planned;
    if (fake::the_system.no_new_files)
        return Result::failed;
    if (fake::the_system.names.count(fake::normalized(path)))
        return Result::exists;
    std::shared_ptr<fake::Data> data;
    fake::change_names([&](fake::Names&) { data = fake::add_file(path, ""); });
    data->hidden = kept != 0;
    file = fake::open_file(data);
    return Result::ok;
}

bool write(File& file, const char* data, std::size_t n) {
    const Outcome outcome = fake::step(Call::write);
    if (outcome == Outcome::failed)
        return false;
    fake::Open& open = fake::opened(file);
    const std::size_t put = outcome == Outcome::part_written ? n / 2 : n;
    fake::put(open.data->bytes, open.position, data, put);
    fake::written(*open.data);
    open.wrote = true;
    open.position += put;
    return put == n;
}

bool sync(File& file) {
    if (fake::step(Call::sync) != Outcome::none)
        return false;
    fake::Data& data = *fake::opened(file).data;
    data.durable = data.bytes;
    data.durable_written_s = data.written_s;
    data.unsynced.clear();
    return true;
}

bool touch(File& file) {
    if (fake::step(Call::touch) != Outcome::none)
        return false;
    fake::Data& data = *fake::opened(file).data;
    data.written_s = fake::the_system.now_s;
    data.unsynced.push_back(data.bytes);
    return true;
}

Result free_to_replace(const std::string& path) {
    if (const auto planned = fake::refused(Call::free_to_replace))
        return *planned;
    const auto data = fake::file_at(path);
    if (!data)
        return Result::not_found;
    return fake::in_use(data) ? Result::busy : Result::ok;
}

bool has_keeping_replace() {
    return fake::the_system.keeping_replace;
}

Replaced replace_file(const std::string& replacement, const std::string& replaced,
                      const std::string& backup) {
    const Outcome outcome = fake::step(Call::replace_file);
    auto& names = fake::the_system.names;
    const std::string from = fake::normalized(replacement), to = fake::normalized(replaced);
    const std::string kept_as = fake::normalized(backup);
    if (!names.count(from) || !names.count(to) || !names[from].data || !names[to].data)
        return Replaced::both_kept;
    if (outcome == Outcome::busy || (outcome == Outcome::none && fake::in_use(names[to].data)))
        return Replaced::busy;
    const auto inherit = [&] {
        names[from].data->security = names[to].data->security;
        names[from].data->hidden = names[to].data->hidden;
    };
    // Two renames, each a step of the log: the old file to the backup name
    // (over whatever held it, as the system's replace moves it there),
    // then the new one to the old one's.
    const auto old_aside = [&] {
        fake::change_names([&](fake::Names& now) {
            now[kept_as] = now[to];
            now.erase(to);
        });
        fake::renamed(names[kept_as].data);
    };
    switch (outcome) {
    case Outcome::none:
        inherit();
        old_aside();
        fake::change_names([&](fake::Names& now) {
            now[to] = now[from];
            now.erase(from);
        });
        fake::renamed(names[to].data);
        return Replaced::done;
    case Outcome::replacement_not_moved_2:
        inherit();
        old_aside();
        return Replaced::old_at_backup;
    default:
        // With a backup name, 1175, 1176 and the rest leave both names.
        return Replaced::both_kept;
    }
}

Result move_file(const std::string& from, const std::string& to, bool replace) {
    const auto planned = fake::refused(Call::move_file);
    if (planned == Result::exists)
        fake::made_by_another(to);
    else if (planned)
        return *planned;
    auto& names = fake::the_system.names;
    const std::string source = fake::normalized(from), target = fake::normalized(to);
    if (!names.count(source))
        return Result::not_found;
    if (names.count(target)) {
        if (!replace)
            return Result::exists;
        const auto& there = names[target].data;
        if (fake::in_use(there))
            return Result::busy;
        if (there && there->folder)
            return Result::failed;
    }
    fake::change_names([&](fake::Names& now) {
        now[target] = now[source];
        now.erase(source);
    });
    fake::renamed(names[target].data);
    return Result::ok;
}

Result open_for_overwrite(const std::string& path, File& file) {
    return fake::open_existing(Call::open_for_overwrite, path, file);
}

bool set_size(File& file, std::uint64_t size) {
    const Outcome outcome = fake::step(Call::set_size);
    std::string& bytes = fake::opened(file).data->bytes;
    if (outcome == Outcome::left_longer && size > bytes.size()) {
        bytes.resize(static_cast<std::size_t>(size), '\0');
        fake::written(*fake::opened(file).data);
    }
    if (outcome != Outcome::none)
        return false;
    if (fake::opened(file).data->mapped && size < bytes.size()) {
        fake::the_system.outcomes.back() = Outcome::failed;
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size), '\0');
    fake::written(*fake::opened(file).data);
    return true;
}

bool write_at(File& file, std::uint64_t offset, const char* data, std::size_t n) {
    const Outcome outcome = fake::step(Call::write_at);
    if (outcome == Outcome::failed)
        return false;
    const std::size_t put = outcome == Outcome::part_written ? n / 2 : n;
    fake::put(fake::opened(file).data->bytes, static_cast<std::size_t>(offset), data, put);
    fake::written(*fake::opened(file).data);
    fake::opened(file).wrote = true;
    return put == n;
}

void sync_folder(const std::string&) {
    // The names as they are now are those a power cut comes back to.
    if (fake::step(Call::sync_folder) == Outcome::none)
        fake::the_system.journal.clear();
}

bool remove(const std::string& path) {
    if (fake::step(Call::remove) != Outcome::none)
        return false;
    auto& names = fake::the_system.names;
    const auto it = names.find(fake::normalized(path));
    if (it == names.end())
        return true;
    if (fake::in_use(it->second.data))
        return false;
    fake::change_names([&](fake::Names& now) { now.erase(fake::normalized(path)); });
    return true;
}

std::vector<FileEntry> files_in(const std::string& folder) {
    std::vector<FileEntry> files;
    if (fake::step(Call::files_in) != Outcome::none)
        return files;
    const std::string at = fake::normalized(folder);
    for (const auto& [name, entry] : fake::the_system.names)
        if (fake::folder_of(name) == at && entry.data && !entry.data->folder)
            files.push_back({name.substr(at.size()), entry.data->written_s});
    return files;
}

long long seconds_now() {
    return fake::the_system.now_s;
}

void sleep_ms(unsigned) {}

std::string environment(const char*) {
    return "";
}

} // namespace sys
