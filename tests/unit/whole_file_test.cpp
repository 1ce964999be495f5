#include "scratch_folder.h"

#include "settings/file_reading.h"
#include "settings/file_replacement.h"
#include "settings/temp_files.h"
#include "tests/common/look_alike_names.h"

#include <chrono>
#include <cstring>
#include <ctime>

namespace {

using TempFiles = ScratchFolder;
using WholeFile = ScratchFolder;

void set_age(const fs::path& p, std::chrono::minutes age) {
    fs::last_write_time(p, fs::file_time_type::clock::now() - age);
}

} // namespace

// The earlier version's names, as its documentation gives them: "~mb", five
// base-36 characters, and two that check the five.
std::string earlier_name(const char* token) {
    const auto value = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    unsigned sum = 0;
    for (int i = 0; i < 5; ++i)
        sum += static_cast<unsigned>((i + 1) * value(token[i]));
    const unsigned check = (sum + 0x2b) % 1291;
    const char* const digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    return std::string("~mb") + token + digits[check / 36] + digits[check % 36];
}

constexpr TempKind kinds[] = {TempKind::writing, TempKind::whole, TempKind::beside};

TEST_F(TempFiles, NamesTellTheirKindAndTheirAgeAndCheckThemselves) {
    for (const TempKind kind : kinds) {
        for (const long long at : {1700000000LL, 1700000001LL, 1700086399LL, 946684800LL}) {
            const std::string name = temp_name(kind, at);
            SCOPED_TRACE(name);
            EXPECT_EQ(name.size(), 10u);
            EXPECT_EQ(temp_kind(name), kind);
            EXPECT_EQ(temp_age_s(name, at + 600), 600);
            EXPECT_EQ(temp_age_s(name, at - 5), -5) << "a clock behind reads as young";
            for (const TempKind other : kinds) {
                EXPECT_EQ(temp_kind(with_kind("C:\\pub\\" + name, other).substr(7)), other);
                EXPECT_EQ(with_kind(name, other).substr(3, 5), name.substr(3, 5));
            }
            // Any one character off, or one more or one fewer, is someone
            // else's: above all, no file being written passes for whole.
            for (std::size_t i = 0; i < name.size(); ++i)
                for (const char c : {'0', '7', 'z', 'A', '.', 'w', 'k', 'i', 'b'}) {
                    std::string other = name;
                    other[i] = c;
                    if (other != name) {
                        EXPECT_EQ(temp_kind(other), TempKind::none) << other;
                    }
                }
            EXPECT_EQ(temp_kind(name + "0"), TempKind::none);
            EXPECT_EQ(temp_kind(name.substr(0, 9)), TempKind::none);
        }
    }
    EXPECT_NE(temp_name(TempKind::writing, 1700000000), temp_name(TempKind::writing, 1700000001));
    EXPECT_EQ(temp_kind(earlier_name("0a9zq")), TempKind::earlier);
    EXPECT_EQ(temp_kind(earlier_name("zzzzz")), TempKind::earlier);
}

TEST_F(TempFiles, OnlyTheEditorsOwnLeftoversNamedLongAgoAreRemoved) {
    write("x");
    const long long now = static_cast<long long>(std::time(nullptr));
    std::vector<fs::path> gone, kept;
    for (const TempKind kind : kinds) {
        gone.push_back(dir_ / temp_name(kind, now - 11 * 60));
        // A save under way, and one whose clock runs ahead.
        kept.push_back(dir_ / temp_name(kind, now - 9 * 60));
        kept.push_back(dir_ / temp_name(kind, now + 3600));
    }
    for (const fs::path& p : gone)
        write("x", p);
    for (const fs::path& p : kept)
        write("x", p);
    // A rename keeps the last-write time: a backup that a save made just now
    // of settings written two days ago is young.
    set_age(kept[2], std::chrono::hours(48));
    // What an earlier version left may hold the only copy of the settings;
    // old files of the user's and of other programs, whatever they look like.
    std::vector<std::string> others = look_alike_names();
    others.insert(others.end(), {earlier_name("00000"), earlier_name("a1b2c")});
    for (const std::string& name : others) {
        write(name, dir_ / name);
        set_age(dir_ / name, std::chrono::hours(48));
    }
    const fs::path stale_folder = dir_ / temp_name(TempKind::writing, now - 3600);
    fs::create_directories(stale_folder);

    remove_stale_temps((dir_ / "").string());

    for (const fs::path& p : gone)
        EXPECT_FALSE(fs::exists(p)) << p << ": a cut-off save's leftover stays";
    for (const fs::path& p : kept)
        EXPECT_TRUE(fs::exists(p)) << p << ": a save under way would lose its file";
    for (const std::string& name : others)
        EXPECT_EQ(read(dir_ / name), name) << name << " was touched";
    EXPECT_TRUE(fs::exists(stale_folder));
    EXPECT_TRUE(fs::exists(path_));
}

// What a save cut off by a crash or a power cut left, and what the next
// start shows: the newest copy that proves itself whole, never one that
// does not, and the file itself unless it was being written over.
TEST_F(TempFiles, AStartShowsTheNewestWholeCopyACutOffSaveLeft) {
    const long long now = static_cast<long long>(std::time(nullptr));
    const std::string old_file = "id\x01old\r\n", new_file = "id\x01new\r\n";
    const std::string cut = "id\x01ne"; // a first save cut inside a line
    const std::string whole_old = temp_name(TempKind::whole, now - 5);
    const std::string whole_new = temp_name(TempKind::whole, now - 6);
    const std::string beside_new = temp_name(TempKind::beside, now - 4);
    const std::string writing = temp_name(TempKind::writing, now - 7);
    const std::string earlier = earlier_name("k2v9q");
    const struct Row {
        const char* pins;
        std::vector<std::pair<std::string, std::string>> files; // in the order written
        ReadStatus status;
        const char* shown; // the id shown, "" for none
        bool file_found;
    } rows[] = {
        {"between the replace's two renames: the newer content of two whole copies",
         {{whole_old, old_file}, {whole_new, new_file}},
         ReadStatus::read,
         "new",
         false},
        {"a first save cut inside a line: never shown",
         {{writing, cut}},
         ReadStatus::not_found,
         "",
         false},
        {"an earlier version's leftover proves nothing",
         {{earlier, new_file}},
         ReadStatus::not_found,
         "",
         false},
        {"a whole copy beside the file counts only while the file is missing",
         {{"mabiru.dat", old_file}, {whole_new, new_file}},
         ReadStatus::read,
         "old",
         true},
        {"a file written over may be part old, part new: its copy is shown",
         {{"mabiru.dat", "id\x01nld\r\n"}, {beside_new, new_file}},
         ReadStatus::read,
         "new",
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pins);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        for (std::size_t i = 0; i < row.files.size(); ++i) {
            write(row.files[i].second, dir_ / row.files[i].first);
            // A rename keeps the last-write time: the older content first.
            set_age(dir_ / row.files[i].first,
                    std::chrono::minutes(static_cast<int>(60 * (row.files.size() - i))));
        }
        SettingsMap map;
        const StartLoad start = load_settings_at_start(map, path_, "\x01");
        EXPECT_EQ(start.status, row.status);
        EXPECT_EQ(start.file_found, row.file_found);
        EXPECT_EQ(map["id"], row.shown);

        // OK saves what was shown; the copies it came from go, and nothing
        // else of what the cut left, while the start found no file.
        ASSERT_TRUE(save_settings({{"id", "saved"}}, path_, "\x01", start));
        EXPECT_EQ(read(), "id\x01saved\r\n");
        for (const auto& [name, bytes] : row.files) {
            const bool copy_shown = *row.shown && name != "mabiru.dat" && bytes != cut &&
                                    name != earlier && (!row.file_found || name == beside_new);
            if (name != "mabiru.dat") {
                EXPECT_EQ(fs::exists(dir_ / name), !copy_shown) << name;
            }
        }
    }
}

#ifdef MABIRU_TEST_SEAMS
TEST_F(WholeFile, ARefusedTemporaryFileWritesOverTheFileItself) {
    const SettingsMap longer = {{"host", "h.example"}, {"id", std::string(5000, 'i')}};
    const SettingsMap shorter = {{"id", "me"}};
    write("id\x01old\r\n");
    for (const SettingsMap* map : {&longer, &shorter}) {
        inject_save_failure(SaveStep::temporary);
        ASSERT_TRUE(save_settings(*map, path_, "\x01"));
        EXPECT_EQ(loaded(), *map);
        EXPECT_EQ(listing(), just_the_settings_file);
    }
    // With no file to write over, there is nothing to save into.
    fs::remove(path_);
    inject_save_failure(SaveStep::temporary);
    EXPECT_FALSE(save_settings(shorter, path_, "\x01"));
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(WholeFile, AReadErrorAfterTheFirstBlockIsUnreadableNotTheEnd) {
    std::string bytes;
    for (int i = 0; bytes.size() < (3u << 20); ++i)
        bytes += "key" + std::to_string(i) + "\x01value\r\n";
    write(bytes);
    SettingsMap map = {{"kept", "1"}};
    inject_read_failure(1);
    EXPECT_EQ(load_settings(map, path_, "\x01"), ReadStatus::unreadable);
    EXPECT_EQ(map, (SettingsMap{{"kept", "1"}}));
    EXPECT_EQ(load_settings(map, path_, "\x01"), ReadStatus::read);
    EXPECT_GT(map.size(), 100000u);
}
#endif

TEST_F(WholeFile, EveryNameOfTheFileSeesTheSaveAndALinkStaysALink) {
    const fs::path second = dir_ / "second-name.dat";
    write("id\x01old\r\n");
    std::error_code error;
    fs::create_hard_link(path_, second, error);
    if (error)
        GTEST_SKIP() << "no hard links here: " << error.message();
    ASSERT_TRUE(save_settings({{"id", "new"}}, path_, "\x01"));
    EXPECT_EQ(read(second), "id\x01new\r\n");
    EXPECT_TRUE(fs::exists(second));

#ifndef _WIN32
    // Under Wine the end-to-end tests make the link: its own calls cannot.
    const fs::path target_dir = dir_ / "elsewhere";
    fs::create_directories(target_dir);
    const fs::path target = target_dir / "real.dat";
    const fs::path link = dir_ / "linked.dat";
    write("id\x01old\r\n", target);
    fs::create_symlink(target, link);
    ASSERT_TRUE(save_settings({{"id", "new"}}, link.string(), "\x01"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read(target), "id\x01new\r\n");
    EXPECT_EQ(listing(target_dir), std::vector<std::string>{"real.dat"});
#endif
}

#ifdef _WIN32
namespace {

// Holds a file without sharing, as a scan or a backup would, and lets go
// of it after `ms` from a thread of its own, which going out of scope waits for.
class Hold {
  public:
    Hold(const std::string& path, DWORD ms)
        : file_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)),
          ms_(ms), thread_(CreateThread(nullptr, 0, release, this, 0, nullptr)) {}
    ~Hold() {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    bool held() const { return file_ != INVALID_HANDLE_VALUE; }

  private:
    static DWORD WINAPI release(void* self) {
        Sleep(static_cast<Hold*>(self)->ms_);
        CloseHandle(static_cast<Hold*>(self)->file_);
        return 0;
    }
    HANDLE file_;
    DWORD ms_;
    HANDLE thread_;
};

} // namespace

// The longest settings path the system takes: 259 bytes and the terminator.
TEST_F(WholeFile, ASettingsPathAtTheSystemsLimitSavesAndLoads) {
    std::string folder = dir_.string() + "\\";
    // The folder's own backslash, then the editor's second one and the name.
    const std::size_t room = 259 - (folder.size() + std::strlen("\\\\mabiru.dat"));
    folder += std::string(room, 'f') + "\\";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string path = folder + "\\mabiru.dat"; // doubled, as the editor builds it
    ASSERT_EQ(path.size(), 259u);

    const SettingsMap map = {{"host", "h.example"}, {"id", "me"}};
    ASSERT_TRUE(save_settings(map, path, "\x01"));
    ASSERT_TRUE(save_settings(map, path, "\x01")) << "replacing it";
    EXPECT_EQ(loaded(path), map);
    EXPECT_EQ(listing(folder), just_the_settings_file);
}

TEST_F(WholeFile, LoadingWaitsOutABriefHoldButReportsALongOneAsUnreadable) {
    write("host\x01h.example\r\n");
    SettingsMap map;
    {
        const Hold brief(path_, 300);
        ASSERT_TRUE(brief.held());
        EXPECT_EQ(load_settings(map, path_, "\x01"), ReadStatus::read);
    }
    EXPECT_EQ(map, (SettingsMap{{"host", "h.example"}}));
    {
        // Held for longer than the retries: unreadable, not missing.
        const Hold long_hold(path_, 1500);
        ASSERT_TRUE(long_hold.held());
        const ULONGLONG start = GetTickCount64();
        map.clear();
        EXPECT_EQ(load_settings(map, path_, "\x01"), ReadStatus::unreadable);
        EXPECT_GE(GetTickCount64() - start, 500u);
        EXPECT_TRUE(map.empty());
    }
    EXPECT_EQ(load_settings(map, path_, "\x01"), ReadStatus::read);
}
#endif
