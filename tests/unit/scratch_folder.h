// A folder of its own for each test, so that a left-over temporary file shows
// in the listing: named after the test and the process (other builds may run
// the same test at the same time), and removed after it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/platform.h"
#include "settings/settings_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

// A folder's listing with nothing beside the settings file.
const std::vector<std::string> just_the_settings_file = {"mabiru.dat"};

// Parallel runs of the tests each get their own folders.
inline unsigned long this_process() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

class ScratchFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("mabiru_unit_" + std::to_string(this_process()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "mabiru.dat").string();
    }

    void TearDown() override {
        set_read_only(false);
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }

    // The settings file, or the file at `path`.
    void write(const std::string& bytes, const fs::path& path = {}) const {
        std::ofstream(path.empty() ? fs::path(path_) : path, std::ios::binary) << bytes;
    }
    std::string read(const fs::path& path = {}) const {
        std::ifstream in(path.empty() ? fs::path(path_) : path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Read back to its end; empty, and a failure, if it is not.
    SettingsMap loaded(const fs::path& path = {}, const std::string& separator = "\x01") const {
        SettingsMap map;
        const std::string at = path.empty() ? path_ : path.string();
        EXPECT_EQ(load_settings(map, at, separator), ReadStatus::read) << at;
        return map;
    }
    SettingsMap load(const std::string& bytes) const {
        write(bytes);
        return loaded();
    }

    // The names in this folder, or in `dir`.
    std::vector<std::string> listing(const fs::path& dir = {}) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.empty() ? dir_ : dir))
            names.push_back(entry.path().filename().string());
        return names;
    }

    // A failed save leaves the old file byte for byte and nothing beside it.
    void expect_untouched(const std::string& old) const {
        EXPECT_EQ(read(), old);
        EXPECT_EQ(listing(), just_the_settings_file);
    }

    void set_read_only(bool on) const {
        if (!fs::exists(path_))
            return;
#ifdef _WIN32
        SetFileAttributesA(path_.c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
        ::chmod(path_.c_str(), on ? 0444 : 0644);
#endif
    }

    fs::path dir_;
    std::string path_; // the settings file in it
};
