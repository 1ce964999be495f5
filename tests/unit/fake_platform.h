// A scriptable fake of settings/platform.h: files in memory, with names,
// hard and symbolic links, attributes, the security that only the system's
// own replace carries over, and other programs that hold or map a file.
// Any call can be made to fail, as the n-th call of a run, in each way the
// system documents for it, and each failure leaves the files exactly as
// that way does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fake {

// How a call ends:
//   exists        another program made a file of that name just before: it
//                 stays, as theirs, and the call goes on as the system would
//   busy          refused for now, nothing changed: the one transient failure
//   unknown       a question answered with nothing
//   elsewhere     a resolved path that names another file
//   part_written  half the bytes written, then the failure
//   left_longer   room asked for and not had, the file zero-filled to it
// and the system's replace, always given a backup name:
//   replaced_not_removed     1175: both files keep their names
//   replacement_not_moved    1176: both keep their names
//   replacement_not_moved_2  1177: the old under the backup name, the new under its own
// clang-format off
#define FAKE_OUTCOMES(X) \
    X(none) X(not_found) X(exists) X(busy) X(failed) X(unknown) X(elsewhere) X(part_written) \
    X(left_longer) X(replaced_not_removed) X(replacement_not_moved) X(replacement_not_moved_2)
// clang-format on

// The calls of settings/platform.h that the fake counts, in the order of
// the enum, each with the ways the system documents for it to fail (O is
// Outcome): X(name, failures...) for each.
// clang-format off
#define FAKE_CALLS(X) \
    X(open_for_reading, O::not_found, O::busy, O::failed) \
    X(read, O::failed) \
    X(close, O::failed) \
    X(attributes_of, O::unknown) \
    X(identity_of, O::unknown) \
    X(final_path_of, O::unknown, O::elsewhere) \
    X(link_target, O::unknown) \
    X(create_new, O::exists, O::failed) \
    X(write, O::failed, O::part_written) \
    X(sync, O::failed) \
    X(touch, O::failed) \
    X(free_to_replace, O::busy, O::failed, O::not_found) \
    X(replace_file, O::busy, O::failed, O::replaced_not_removed, O::replacement_not_moved, \
      O::replacement_not_moved_2) \
    X(move_file, O::exists, O::busy, O::failed) \
    X(open_for_overwrite, O::busy, O::failed) \
    X(set_size, O::failed, O::left_longer) \
    X(write_at, O::failed, O::part_written) \
    X(sync_folder, ) \
    X(remove, O::failed) \
    X(files_in, O::failed)
// clang-format on

#define FAKE_CALL(name, ...) name,
#define FAKE_OUTCOME(name) name,
enum class Call { FAKE_CALLS(FAKE_CALL) };
enum class Outcome { FAKE_OUTCOMES(FAKE_OUTCOME) };
#undef FAKE_CALL
#undef FAKE_OUTCOME
// The enumerator's own name.
const char* name_of(Call call);
const char* name_of(Outcome outcome);

// The ways a call can fail, as FAKE_CALLS lists them.
std::vector<Outcome> failures_of(Call call);

// A file's content and everything a name of it leads to.
struct Data {
    std::string bytes;
    std::uint64_t index = 0;
    bool read_only = false;
    bool hidden = false;
    bool folder = false;
    std::string security = "inherited";
    bool held = false;       // open elsewhere, its deletion not shared
    bool mapped = false;     // mapped elsewhere: it cannot be cut
    bool locked = false;     // open elsewhere, its reading not shared either
    int reads_left = -1;     // reads before one fails as a bad sector would
    long long written_s = 0; // the last write, by the system's clock
    bool not_closed = false; // written, and closed with a failure
    // What a power cut may leave: the bytes and the last-write time at the
    // last sync, and the bytes after each write since.
    std::string durable;
    long long durable_written_s = 0;
    std::vector<std::string> unsynced;
};

struct Entry {
    std::shared_ptr<Data> data; // null for a symbolic link
    std::string link;           // where a symbolic link leads
};

struct Failure {
    std::size_t call; // counted from 0 over the run
    Outcome outcome;
};

// What the file system says of a file's identity.
enum class Ids {
    unique,           // each file its own index, kept for its life
    all_zero,         // some network and user-space file systems
    all_the_same,     // ... or every file one and the same index
    change_on_rename, // FAT and exFAT, where a longer name moves the entry
};

using Names = std::map<std::string, Entry>; // by normalized path

struct System {
    Names names;
    // Windows: the system's replace keeps more than a move does.
    bool keeping_replace = true;
    // No new file can be created (a folder that takes none).
    bool no_new_files = false;
    std::vector<Failure> plan;
    // Where a resolved path that names another file leads.
    std::string elsewhere = "C:\\pub\\readme.txt";
    // The system's clock, in seconds since 1970.
    long long now_s = 1700000000;
    Ids ids = Ids::unique;
    // The power goes after this call: no later call has any effect.
    std::size_t cut_after = static_cast<std::size_t>(-1);
    // The names at the last point they were made durable (a folder's sync),
    // then after each change since, in order: the file system writes its
    // log in order.
    std::vector<Names> journal;
    // The files that other programs made, with what they wrote.
    std::map<std::string, std::string> others;
    // What the run called, in order, and how each call failed, if it did
    // (as planned, or as the files made it: a mapped file refusing a cut).
    std::vector<Call> calls;
    std::vector<Outcome> outcomes;
};

// The one system the fake's calls act on.
System& system();
// A new, empty system with no open files.
void reset();

// How a power cut leaves the bytes that were written since a file's last
// sync: all of them, none, or the writes torn at a 512-byte boundary. With
// the bytes, a file's last-write time since its sync may be lost too.
enum class Lost { nothing, unsynced, torn };
// The system as it comes back after the power went: the names as the
// journal had them after `changes` of its changes, the bytes as `lost`
// says. Nothing is held, mapped or open any more.
void power_cut(std::size_t changes, Lost lost, std::size_t torn_at = 512);

// Paths as the fake stores them: one backslash between names.
std::string normalized(const std::string& path);

// Adds a file under `path`, a second name of a file, a symbolic link.
std::shared_ptr<Data> add_file(const std::string& path, const std::string& bytes);
void add_name(const std::string& path, const std::shared_ptr<Data>& data);
void add_link(const std::string& path, const std::string& target);

// The file a path leads to, past a symbolic link; null when there is none.
std::shared_ptr<Data> file_at(const std::string& path);

} // namespace fake
