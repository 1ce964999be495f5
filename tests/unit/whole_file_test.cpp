#include "settings/whole_file.h"

#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

unsigned long this_process() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(::getpid());
#endif
}

// A process id that is certainly not running any more.
unsigned long ended_process() {
#ifdef _WIN32
    return 0xFFFFFFF0ul; // process ids are multiples of 4
#else
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status;
    ::waitpid(child, &status, 0);
    return static_cast<unsigned long>(child);
#endif
}

std::string native(const fs::path& p) {
    return p.string();
}

void touch(const fs::path& p) {
    std::ofstream(p, std::ios::binary) << "x";
}

} // namespace

TEST(TempFiles, NamesCarryTheProcessAndTheCounterInBase36AndFitInTenBytes) {
    EXPECT_EQ(temp_name(6699, 7), "~563.7");
    EXPECT_EQ(temp_name(0, 0), "~0.0");
    EXPECT_EQ(temp_name(35, 71), "~z.z");
    EXPECT_EQ(temp_name(0xFFFFFFFFul, 35), "~1z141z3.z");
}

TEST(TempFiles, OnlyTheLeftoversOfEndedEditorsAreRemoved) {
    const fs::path dir =
        fs::temp_directory_path() / ("mabiru-temps-" + std::to_string(this_process()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path settings = dir / "mabiru.dat";
    touch(settings);

    const fs::path stale = dir / temp_name(ended_process(), 3);
    const fs::path live = dir / temp_name(this_process(), 4);
    const fs::path look_alikes[] = {dir / "~123456789.0", dir / "~ab.cd", dir / "~AB.0",
                                    dir / "x~1.0", dir / "~1.0.tmp"};
    for (const fs::path& p : {stale, live})
        touch(p);
    for (const fs::path& p : look_alikes)
        touch(p);
    const fs::path stale_folder = dir / temp_name(ended_process(), 5);
    fs::create_directories(stale_folder);

    remove_stale_temps(native(dir / ""));

    EXPECT_FALSE(fs::exists(stale)) << "a killed editor's temporary file stays";
    EXPECT_TRUE(fs::exists(live)) << "a running editor's save would lose its file";
    for (const fs::path& p : look_alikes)
        EXPECT_TRUE(fs::exists(p)) << p;
    EXPECT_TRUE(fs::exists(stale_folder));
    EXPECT_TRUE(fs::exists(settings));
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
