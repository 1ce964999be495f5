#include "settings/temp_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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

TEST(TempFiles, NamesCarryTheProcessInHexAndTheCounter) {
    EXPECT_EQ(temp_name("C:\\a\\\\mabiru.dat", 0x1a2bul, 7), "C:\\a\\\\mabiru.dat.~1a2b.7.tmp");
    EXPECT_EQ(temp_name("mabiru.dat", 0, 0), "mabiru.dat.~0.0.tmp");
}

TEST(TempFiles, OnlyTheLeftoversOfEndedEditorsAreRemoved) {
    const fs::path dir =
        fs::temp_directory_path() / ("mabiru-temps-" + std::to_string(this_process()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path settings = dir / "mabiru.dat";
    touch(settings);

    const fs::path stale = temp_name(native(settings), ended_process(), 3);
    const fs::path live = temp_name(native(settings), this_process(), 4);
    const fs::path other_file = temp_name(native(dir / "other.dat"), ended_process(), 1);
    const fs::path look_alike = native(settings) + ".~zz.1.tmp";
    for (const fs::path& p : {stale, live, other_file, look_alike})
        touch(p);

    remove_stale_temps(native(settings));

    EXPECT_FALSE(fs::exists(stale)) << "a killed editor's temporary file stays";
    EXPECT_TRUE(fs::exists(live)) << "a running editor's save would lose its file";
    EXPECT_TRUE(fs::exists(other_file));
    EXPECT_TRUE(fs::exists(look_alike));
    EXPECT_TRUE(fs::exists(settings));
    fs::remove_all(dir);
}
