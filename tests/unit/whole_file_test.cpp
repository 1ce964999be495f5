#include "settings/file_reading.h"
#include "settings/file_replacement.h"
#include "settings/temp_files.h"

#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string native(const fs::path& p) {
    return p.string();
}

void touch(const fs::path& p, const std::string& bytes = "x") {
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder for one test, named after it.
fs::path fresh_folder(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("mabiru-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

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

TEST(TempFiles, NamesTellTheirKindAndTheirAgeAndCheckThemselves) {
    const long long t = 1700000000;
    for (const TempKind kind : {TempKind::writing, TempKind::whole, TempKind::beside}) {
        for (const long long at : {t, t + 1, t + 86399, 946684800LL}) {
            const std::string name = temp_name(kind, at);
            SCOPED_TRACE(name);
            EXPECT_EQ(name.size(), 10u);
            EXPECT_EQ(temp_kind(name), kind);
            EXPECT_EQ(temp_age_s(name, at + 600), 600);
            EXPECT_EQ(temp_age_s(name, at - 5), -5) << "a clock behind reads as young";
            for (const TempKind other : {TempKind::writing, TempKind::whole, TempKind::beside}) {
                EXPECT_EQ(temp_kind(with_kind("C:\\pub\\" + name, other).substr(7)), other);
                EXPECT_EQ(with_kind(name, other).substr(3, 5), name.substr(3, 5));
            }
            // Any one character off, or one more or one fewer, is someone
            // else's: above all, no file being written passes for whole.
            for (std::size_t i = 0; i < name.size(); ++i) {
                for (const char c : {'0', '7', 'z', 'A', '.', 'w', 'k', 'i', 'b'}) {
                    std::string other = name;
                    other[i] = c;
                    if (other != name) {
                        EXPECT_EQ(temp_kind(other), TempKind::none) << other;
                    }
                }
            }
            EXPECT_EQ(temp_kind(name + "0"), TempKind::none);
            EXPECT_EQ(temp_kind(name.substr(0, 9)), TempKind::none);
        }
    }
    EXPECT_NE(temp_name(TempKind::writing, t), temp_name(TempKind::writing, t + 1));
    EXPECT_EQ(temp_kind(earlier_name("0a9zq")), TempKind::earlier);
    EXPECT_EQ(temp_kind(earlier_name("zzzzz")), TempKind::earlier);
}

TEST(TempFiles, OnlyTheEditorsOwnLeftoversNamedLongAgoAreRemoved) {
    const fs::path dir = fresh_folder("temps");
    const fs::path settings = dir / "mabiru.dat";
    touch(settings);
    const long long now = static_cast<long long>(std::time(nullptr));
    std::vector<fs::path> gone, kept;
    for (const TempKind kind : {TempKind::writing, TempKind::whole, TempKind::beside}) {
        gone.push_back(dir / temp_name(kind, now - 11 * 60));
        // A save under way, and one whose clock runs ahead.
        kept.push_back(dir / temp_name(kind, now - 9 * 60));
        kept.push_back(dir / temp_name(kind, now + 3600));
    }
    for (const fs::path& p : gone)
        touch(p);
    for (const fs::path& p : kept)
        touch(p);
    // A rename keeps the last-write time: a backup that a save made just now
    // of settings written two days ago is young.
    set_age(kept[2], std::chrono::hours(48));
    // What an earlier version left may hold the only copy of the settings;
    // old files of the user's and of other programs, whatever they look like.
    std::string off_by_one = temp_name(TempKind::writing, now - 3600);
    off_by_one[5] = off_by_one[5] == 'a' ? 'b' : 'a';
    std::vector<fs::path> others;
    for (const std::string& name : std::vector<std::string>{
             earlier_name("00000"), earlier_name("a1b2c"), "~mabiru.1", "~backup.2", "~old.b",
             "~1.1", "~a.b", "~$mabiru.dat", "mabiru.dat.bak", "~1f.0", off_by_one,
             temp_name(TempKind::whole, now - 3600) + "x",
             temp_name(TempKind::whole, now - 3600).substr(1)}) {
        others.push_back(dir / name);
        touch(others.back(), name);
        set_age(others.back(), std::chrono::hours(48));
    }
    const fs::path stale_folder = dir / temp_name(TempKind::writing, now - 3600);
    fs::create_directories(stale_folder);

    remove_stale_temps(native(dir / ""));

    for (const fs::path& p : gone)
        EXPECT_FALSE(fs::exists(p)) << p << ": a cut-off save's leftover stays";
    for (const fs::path& p : kept)
        EXPECT_TRUE(fs::exists(p)) << p << ": a save under way would lose its file";
    for (const fs::path& p : others)
        EXPECT_EQ(contents(p), p.filename().string()) << p << " was touched";
    EXPECT_TRUE(fs::exists(stale_folder));
    EXPECT_TRUE(fs::exists(settings));
    fs::remove_all(dir);
}

// What a save cut off by a crash or a power cut left, and what the next
// start shows: the newest copy that proves itself whole, never one that
// does not, and the file itself unless it was being written over.
TEST(TempFiles, AStartShowsTheNewestWholeCopyACutOffSaveLeft) {
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
        const fs::path dir = fresh_folder("recovery");
        for (std::size_t i = 0; i < row.files.size(); ++i) {
            touch(dir / row.files[i].first, row.files[i].second);
            // A rename keeps the last-write time: the older content first.
            set_age(dir / row.files[i].first,
                    std::chrono::minutes(static_cast<int>(60 * (row.files.size() - i))));
        }
        const std::string path = native(dir / "mabiru.dat");
        SettingsMap map;
        const StartLoad start = load_settings_at_start(map, path, "\x01");
        EXPECT_EQ(start.status, row.status);
        EXPECT_EQ(start.file_found, row.file_found);
        EXPECT_EQ(map["id"], row.shown);

        // OK saves what was shown; the copies it came from go, and nothing
        // else of what the cut left, while the start found no file.
        ASSERT_TRUE(save_settings({{"id", "saved"}}, path, "\x01", start));
        EXPECT_EQ(contents(dir / "mabiru.dat"), "id\x01saved\r\n");
        for (const auto& [name, bytes] : row.files) {
            const bool copy_shown = *row.shown && name != "mabiru.dat" && bytes != cut &&
                                    name != earlier && (!row.file_found || name == beside_new);
            if (name != "mabiru.dat") {
                EXPECT_EQ(fs::exists(dir / name), !copy_shown) << name;
            }
        }
        fs::remove_all(dir);
    }
}

#ifdef MABIRU_TEST_SEAMS
TEST(WholeFile, ARefusedTemporaryFileWritesOverTheFileItself) {
    const fs::path dir = fresh_folder("in-place");
    const fs::path path = dir / "mabiru.dat";
    const SettingsMap longer = {{"host", "h.example"}, {"id", std::string(5000, 'i')}};
    const SettingsMap shorter = {{"id", "me"}};
    touch(path, "id\x01old\r\n");
    for (const SettingsMap* map : {&longer, &shorter}) {
        inject_save_failure(SaveStep::temporary);
        ASSERT_TRUE(save_settings(*map, native(path), "\x01"));
        SettingsMap back;
        EXPECT_EQ(load_settings(back, native(path), "\x01"), ReadStatus::read);
        EXPECT_EQ(back, *map);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    }
    // With no file to write over, there is nothing to save into.
    fs::remove(path);
    inject_save_failure(SaveStep::temporary);
    EXPECT_FALSE(save_settings(shorter, native(path), "\x01"));
    EXPECT_FALSE(fs::exists(path));
    fs::remove_all(dir);
}

TEST(WholeFile, AReadErrorAfterTheFirstBlockIsUnreadableNotTheEnd) {
    const fs::path dir = fresh_folder("read-error");
    const fs::path path = dir / "mabiru.dat";
    std::string bytes;
    for (int i = 0; bytes.size() < (3u << 20); ++i)
        bytes += "key" + std::to_string(i) + "\x01value\r\n";
    touch(path, bytes);
    SettingsMap map = {{"kept", "1"}};
    inject_read_failure(1);
    EXPECT_EQ(load_settings(map, native(path), "\x01"), ReadStatus::unreadable);
    EXPECT_EQ(map, (SettingsMap{{"kept", "1"}}));
    EXPECT_EQ(load_settings(map, native(path), "\x01"), ReadStatus::read);
    EXPECT_GT(map.size(), 100000u);
    fs::remove_all(dir);
}
#endif

// No file can be at a name the system cannot spell or over its limit: that
// is a first start. A folder in the file's place is there, and unreadable.
TEST(WholeFile, PathsAtWhichNoFileCanBeAreMissingNotUnreadable) {
    const fs::path dir = fresh_folder("paths");
    const struct {
        fs::path path;
        ReadStatus status;
    } cases[] = {
        {dir / "?" / "mabiru.dat", ReadStatus::not_found}, // a letter outside the code page
        {dir / std::string(300, 'x') / "mabiru.dat", ReadStatus::not_found},
        {dir / "no-such-folder" / "mabiru.dat", ReadStatus::not_found},
        {dir, ReadStatus::unreadable},
    };
    for (const auto& c : cases) {
        SettingsMap map;
        EXPECT_EQ(load_settings(map, native(c.path), "\x01"), c.status) << c.path;
    }
    fs::remove_all(dir);
}

// A file that opens but whose first read fails.
TEST(WholeFile, AFileThatOpensButCannotBeReadIsUnreadable) {
#ifdef _WIN32
    const std::string path = "Z:\\proc\\self\\mem";
#else
    const std::string path = "/proc/self/mem";
#endif
    SettingsMap map;
    EXPECT_EQ(load_settings(map, path, "\x01"), ReadStatus::unreadable);
    EXPECT_TRUE(map.empty());
}

TEST(WholeFile, EveryNameOfTheFileSeesTheSaveAndALinkStaysALink) {
    const fs::path dir = fresh_folder("links");
    const fs::path file = dir / "mabiru.dat";
    const fs::path second = dir / "second-name.dat";
    touch(file, "id\x01old\r\n");
    std::error_code error;
    fs::create_hard_link(file, second, error);
    if (error)
        GTEST_SKIP() << "no hard links here: " << error.message();
    ASSERT_TRUE(save_settings({{"id", "new"}}, native(file), "\x01"));
    EXPECT_EQ(contents(second), "id\x01new\r\n");
    EXPECT_TRUE(fs::exists(second));

#ifndef _WIN32
    // Under Wine the end-to-end tests make the link: its own calls cannot.
    const fs::path target_dir = dir / "elsewhere";
    fs::create_directories(target_dir);
    const fs::path target = target_dir / "real.dat";
    const fs::path link = dir / "linked.dat";
    touch(target, "id\x01old\r\n");
    fs::create_symlink(target, link);
    ASSERT_TRUE(save_settings({{"id", "new"}}, native(link), "\x01"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contents(target), "id\x01new\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(target_dir), fs::directory_iterator()), 1);
#endif
    fs::remove_all(dir);
}

#ifdef _WIN32
namespace {

std::vector<std::string> listing_of(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

struct Release {
    HANDLE handle;
    DWORD after_ms;
};

DWORD WINAPI release_later(void* param) {
    const Release* release = static_cast<const Release*>(param);
    Sleep(release->after_ms);
    CloseHandle(release->handle);
    return 0;
}

} // namespace

// The longest settings path the system takes: 259 bytes and the terminator.
TEST(WholeFile, ASettingsPathAtTheSystemsLimitSavesAndLoads) {
    const std::string base = native(fs::temp_directory_path() / "mabiru-long");
    std::string folder = base + "\\";
    // The folder's own backslash, then the editor's second one and the name.
    const std::size_t room = 259 - (folder.size() + std::strlen("\\\\mabiru.dat"));
    folder += std::string(room, 'f') + "\\";
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    const std::string path = folder + "\\mabiru.dat"; // doubled, as the editor builds it
    ASSERT_EQ(path.size(), 259u);

    const SettingsMap map = {{"host", "h.example"}, {"id", "me"}};
    ASSERT_TRUE(save_settings(map, path, "\x01"));
    ASSERT_TRUE(save_settings(map, path, "\x01")) << "replacing it";
    SettingsMap back;
    EXPECT_EQ(load_settings(back, path, "\x01"), ReadStatus::read);
    EXPECT_EQ(back, map);
    EXPECT_EQ(listing_of(folder), std::vector<std::string>{"mabiru.dat"});
    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA(base.c_str());
}

TEST(WholeFile, LoadingWaitsOutABriefHoldButReportsALongOneAsUnreadable) {
    const std::string path = native(fs::temp_directory_path() / "mabiru-held.dat");
    const std::string content = "host\x01h.example\r\n";
    std::ofstream(path, std::ios::binary) << content;

    // Held without sharing for 0.3 s, as a scan or a backup would.
    Release held{CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                 300};
    ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
    const HANDLE thread = CreateThread(nullptr, 0, release_later, &held, 0, nullptr);
    SettingsMap map;
    EXPECT_EQ(load_settings(map, path, "\x01"), ReadStatus::read);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(map, (SettingsMap{{"host", "h.example"}}));

    // Held for longer than the retries: unreadable, not missing.
    held = {CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), 1500};
    ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
    const HANDLE long_hold = CreateThread(nullptr, 0, release_later, &held, 0, nullptr);
    const ULONGLONG start = GetTickCount64();
    map.clear();
    EXPECT_EQ(load_settings(map, path, "\x01"), ReadStatus::unreadable);
    EXPECT_GE(GetTickCount64() - start, 500u);
    EXPECT_TRUE(map.empty());
    WaitForSingleObject(long_hold, INFINITE);
    CloseHandle(long_hold);
    EXPECT_EQ(load_settings(map, path, "\x01"), ReadStatus::read);
    DeleteFileA(path.c_str());
}
#endif
