#include "fake_platform.h"

#include "settings/platform.h"

#include <algorithm>
#include <optional>

namespace fake {
namespace {

struct Open {
    std::shared_ptr<Data> data;
    std::size_t position = 0;
};

System the_system;
std::map<std::intptr_t, Open> open_files;
std::intptr_t next_handle = 100;
std::uint64_t next_index = 1;

// Counts the call and answers how the plan makes it fail, if it does.
Outcome step(Call call) {
    const std::size_t n = the_system.calls.size();
    the_system.calls.push_back(call);
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
    data->bytes = bytes;
    data->index = next_index++;
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
    if (fake::step(Call::read) != Outcome::none)
        return Result::failed;
    fake::Open& open = fake::opened(file);
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
    identity.volume = 7;
    identity.index = data->index;
    identity.read_only = data->read_only;
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

Result create_new(const std::string& path, std::uint32_t kept, File& file) {
    if (const auto planned = fake::refused(Call::create_new))
        return *planned;
    if (fake::the_system.no_new_files)
        return Result::failed;
    if (fake::the_system.names.count(fake::normalized(path)))
        return Result::exists;
    const auto data = fake::add_file(path, "");
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
    open.position += put;
    return put == n;
}

bool sync(File&) {
    return fake::step(Call::sync) == Outcome::none;
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

Result replace_file(const std::string& replacement, const std::string& replaced,
                    const std::string& backup) {
    const Outcome outcome = fake::step(Call::replace_file);
    auto& names = fake::the_system.names;
    const std::string from = fake::normalized(replacement), to = fake::normalized(replaced);
    const std::string kept_as = backup.empty() ? "" : fake::normalized(backup);
    if (!names.count(from) || !names.count(to) || !names[from].data || !names[to].data)
        return Result::failed;
    if (outcome == Outcome::busy || (outcome == Outcome::none && fake::in_use(names[to].data)))
        return Result::busy;
    const auto inherit = [&] {
        names[from].data->security = names[to].data->security;
        names[from].data->hidden = names[to].data->hidden;
    };
    switch (outcome) {
    case Outcome::none:
        inherit();
        if (!kept_as.empty())
            names[kept_as] = names[to];
        names[to] = names[from];
        names.erase(from);
        return Result::ok;
    case Outcome::replacement_not_moved:
        if (kept_as.empty())
            names.erase(to);
        return Result::failed;
    case Outcome::replacement_not_moved_2: {
        inherit();
        // The old file goes to the backup name, or where the system likes.
        const std::string aside =
            kept_as.empty()
                ? fake::folder_of(to) + "rf" + std::to_string(names[to].data->index) + ".tmp"
                : kept_as;
        names[aside] = names[to];
        names.erase(to);
        return Result::failed;
    }
    default:
        return Result::failed;
    }
}

Result move_file(const std::string& from, const std::string& to, bool replace) {
    if (const auto planned = fake::refused(Call::move_file))
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
    names[target] = names[source];
    names.erase(source);
    return Result::ok;
}

Result open_for_overwrite(const std::string& path, File& file) {
    return fake::open_existing(Call::open_for_overwrite, path, file);
}

bool set_size(File& file, std::uint64_t size) {
    const Outcome outcome = fake::step(Call::set_size);
    std::string& bytes = fake::opened(file).data->bytes;
    if (outcome == Outcome::left_longer && size > bytes.size())
        bytes.resize(static_cast<std::size_t>(size), '\0');
    if (outcome != Outcome::none)
        return false;
    if (fake::opened(file).data->mapped && size < bytes.size()) {
        fake::the_system.outcomes.back() = Outcome::failed;
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size), '\0');
    return true;
}

bool write_at(File& file, std::uint64_t offset, const char* data, std::size_t n) {
    const Outcome outcome = fake::step(Call::write_at);
    if (outcome == Outcome::failed)
        return false;
    const std::size_t put = outcome == Outcome::part_written ? n / 2 : n;
    fake::put(fake::opened(file).data->bytes, static_cast<std::size_t>(offset), data, put);
    return put == n;
}

void sync_folder(const std::string&) {
    fake::step(Call::sync_folder);
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
    names.erase(it);
    return true;
}

std::vector<FileEntry> files_in(const std::string& folder) {
    std::vector<FileEntry> files;
    if (fake::step(Call::files_in) != Outcome::none)
        return files;
    const std::string at = fake::normalized(folder);
    for (const auto& [name, entry] : fake::the_system.names)
        if (fake::folder_of(name) == at && entry.data && !entry.data->folder)
            files.push_back({name.substr(at.size()), entry.data->age_s});
    return files;
}

unsigned long process_id() {
    return 4242;
}

void sleep_ms(unsigned) {}

std::string environment(const char*) {
    return "";
}

} // namespace sys
