#include "scratch_folder.h"

#include "settings/file_reading.h"
#include "settings/file_replacement.h"
#include "settings/temp_files.h"
#include "tests/common/look_alike_names.h"

#include <chrono>
#include <cstring>

namespace {

using TempFiles = ScratchFolder;
using WholeFile = ScratchFolder;

void set_age(const fs::path& p, std::chrono::minutes age) {
    fs::last_write_time(p, fs::file_time_type::clock::now() - age);
}

} // namespace

TEST_F(TempFiles, NamesAreTenBytesThatCheckThemselves) {
    std::vector<std::string> names;
    for (unsigned long id : {0ul, 4ul, 6699ul, 0xFFFFFFFCul})
        for (unsigned counter : {0u, 1u, 35u})
            names.push_back(temp_name(id, counter));
    for (const std::string& name : names) {
        EXPECT_EQ(name.size(), 10u) << name;
        EXPECT_EQ(name.compare(0, 3, "~mb"), 0) << name;
        EXPECT_TRUE(is_temp_name(name)) << name;
        // Any one character off, or one more or one fewer, is someone else's.
        for (std::size_t i = 0; i < name.size(); ++i)
            for (const char c : {'0', '7', 'z', 'A', '.'}) {
                std::string other = name;
                other[i] = c;
                if (other != name) {
                    EXPECT_FALSE(is_temp_name(other)) << other;
                }
            }
        EXPECT_FALSE(is_temp_name(name + "0"));
        EXPECT_FALSE(is_temp_name(name.substr(0, 9)));
    }
    // The counter moves a process on to another name.
    EXPECT_NE(temp_name(6699, 0), temp_name(6699, 1));
    EXPECT_NE(temp_name(6699, 0), temp_name(6700, 0));
}

TEST_F(TempFiles, OnlyTheEditorsOwnLongUnwrittenLeftoversAreRemoved) {
    write("x");
    const fs::path stale = dir_ / temp_name(1234, 3);
    const fs::path fresh = dir_ / temp_name(1234, 4); // a save still under way
    write("x", stale);
    write("x", fresh);
    set_age(stale, std::chrono::minutes(11));
    set_age(fresh, std::chrono::minutes(9));
    // Old files of the user's and of other programs, whatever they look like.
    for (const std::string& name : look_alike_names()) {
        write(name, dir_ / name);
        set_age(dir_ / name, std::chrono::hours(48));
    }
    const fs::path stale_folder = dir_ / temp_name(1234, 8);
    fs::create_directories(stale_folder);

    remove_stale_temps((dir_ / "").string());

    EXPECT_FALSE(fs::exists(stale)) << "a killed editor's temporary file stays";
    EXPECT_TRUE(fs::exists(fresh)) << "a save under way would lose its file";
    for (const std::string& name : look_alike_names())
        EXPECT_EQ(read(dir_ / name), name) << name << " was touched";
    EXPECT_TRUE(fs::exists(stale_folder));
    EXPECT_TRUE(fs::exists(path_));
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
