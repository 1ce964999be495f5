// The executable's folder and the settings path, on code page 932 bytes:
// 表 is 0x95 0x5C and ソ is 0x83 0x5C, whose second byte is a backslash.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "setup/program_path.h"

namespace {

const std::string hyo = "\x95\x5C"; // 表
const std::string so = "\x83\x5C";  // ソ

TEST(FolderOf, IsThePathUpToItsLastBackslashOrElseTheCurrentFolder) {
    std::string long_folder = "C:\\";
    for (int i = 0; i < 40; ++i)
        long_folder += "folder" + hyo + "\\";
    ASSERT_GT(long_folder.size(), 260u);
    const struct {
        const char* pins;
        std::string path, folder;
    } rows[] = {
        {"keeps the trailing backslash", "C:\\Tools\\Pub\\editor.exe", "C:\\Tools\\Pub\\"},
        {"a drive's root", "C:\\editor.exe", "C:\\"},
        {"a share", "\\\\server\\share\\editor.exe", "\\\\server\\share\\"},
        // Never cut inside a double-byte character.
        {"a file name ending in so", "C:\\Tools\\" + so + ".exe", "C:\\Tools\\"},
        {"a folder named hyo", "C:\\" + hyo + "\\" + so + ".exe", "C:\\" + hyo + "\\"},
        {"a folder of two so", "C:\\" + so + so + "\\" + hyo, "C:\\" + so + so + "\\"},
        // A file name that ends in 表 has no separator of its own at the end.
        {"a file name ending in hyo", "C:\\Tools\\" + hyo, "C:\\Tools\\"},
        {"no backslash", "editor.exe", ".\\"},
        {"no backslash, only trail bytes 0x5C", hyo + so + ".exe", ".\\"},
        {"an empty path", "", ".\\"},
        {"longer than MAX_PATH", long_folder + "editor" + so + ".exe", long_folder},
    };
    for (const auto& row : rows)
        EXPECT_EQ(folder_of(row.path), row.folder) << row.pins;
}

TEST(SettingsPathIn, DoublesTheBackslashLikeTheReaderExpectsButNotUnderTheLiteralPathPrefix) {
    EXPECT_EQ(settings_path_in("C:\\Tools\\Pub\\"), "C:\\Tools\\Pub\\\\mabiru.dat");
    EXPECT_EQ(settings_path_in("C:\\"), "C:\\\\mabiru.dat");
    EXPECT_EQ(settings_path_in("\\\\?\\C:\\Tools\\"), "\\\\?\\C:\\Tools\\mabiru.dat");
}

// Behaves like GetModuleFileNameA on a system that truncates and answers
// the buffer size when the path does not fit.
struct FakeModuleFileName {
    std::string path;
    int calls = 0;
    std::size_t operator()(char* buffer, std::size_t size) {
        ++calls;
        if (path.empty())
            return 0;
        if (path.size() < size) {
            path.copy(buffer, path.size());
            buffer[path.size()] = '\0';
            return path.size();
        }
        path.copy(buffer, size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
};

std::string path_of_length(std::size_t n) {
    std::string path = "C:\\";
    while (path.size() < n)
        path += hyo;
    path.resize(n);
    return path;
}

TEST(ReadWholeText, ShortPathInOneCall) {
    FakeModuleFileName fake{"C:\\Tools\\editor.exe"};
    EXPECT_EQ(read_whole_text(std::ref(fake)), "C:\\Tools\\editor.exe");
    EXPECT_EQ(fake.calls, 1);
}

TEST(ReadWholeText, GrowsUntilThePathFits) {
    for (std::size_t n : {259u, 260u, 261u, 519u, 520u, 1000u, 40000u}) {
        FakeModuleFileName fake{path_of_length(n)};
        EXPECT_EQ(read_whole_text(std::ref(fake)), fake.path) << "length " << n;
    }
}

TEST(ReadWholeText, FailureOrEndlessPathGivesNothing) {
    FakeModuleFileName failing{""};
    EXPECT_EQ(read_whole_text(std::ref(failing)), "");
    FakeModuleFileName endless{path_of_length(1u << 18)};
    EXPECT_EQ(read_whole_text(std::ref(endless)), "");
}

} // namespace
