#include "scratch_folder.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "settings/catalogue.h"
#include "settings/temp_files.h"
#include "tests/common/look_alike_names.h"
#include "settings/test_hooks.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const std::string S = "\x01";

using SettingsFile = ScratchFolder;
using TempFiles = ScratchFolder;

const std::string old_content = "host\x01old.example\r\nid\x01me\r\n";
const SettingsMap new_map = {{"host", "new.example"}, {"list", std::string(3 << 20, 'x')}};

} // namespace

TEST_F(SettingsFile, LoadAppliesTheLineRules) {
    const std::pair<std::string, SettingsMap> cases[] = {
        {"", {}},
        {"is_upload" + S + "1\r\n", {{"is_upload", "1"}}},
        {"k" + S + "v" + S + "w\nk2" + S + S + "v\n" + S + S + "k3" + S + "v",
         {{"k", "v" + S + "w"}, {"k2", S + "v"}, {"k3", "v"}}},
        {"k" + S + "\r\n" + S + "v\r\nk\r\n\r\n\n", {}},
        // CR stays unless it comes right before LF.
        {"a" + S + "v\r\rx\r\nb" + S + "w\r\r\nc" + S + "z\r",
         {{"a", "v\r\rx"}, {"b", "w\r"}, {"c", "z\r"}}},
        // 0x1A ends the file in mid-line.
        {"a" + S + "1\r\nb" + S + "x\x1Ay\r\nc" + S + "3\r\n", {{"a", "1"}, {"b", "x"}}},
        // A zero byte drops the rest of its line only.
        {"a" + S + "x" + std::string(1, '\0') + "y\r\nb" + S + "2\r\n", {{"a", "x"}, {"b", "2"}}},
        {"k" + S + "1\nk" + S + "2\nK" + S + "3\n k " + S + " v \n",
         {{"k", "2"}, {"K", "3"}, {" k ", " v "}}},
        // A lead byte swallows the separator; a lone one at the end is kept.
        {"a\x81" + S + "b\r\nk" + S + "v\x81", {{"k", "v\x81"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(load(c.first), c.second) << testing::PrintToString(c.first);
}

// Only a file read to its end touches the map. No file can be at a name the
// system cannot spell or over its limit: that is a first start. A folder in
// the file's place is there, but it is no settings file.
TEST_F(SettingsFile, LoadAddsToTheMapAndTellsAMissingFileFromAnUnreadableOne) {
    write("a\x01new\r\n");
    SettingsMap map = {{"a", "old"}, {"b", "kept"}};
    EXPECT_EQ(load_settings(map, path_, S), ReadStatus::read);
    const SettingsMap read = {{"a", "new"}, {"b", "kept"}};
    EXPECT_EQ(map, read);

    const struct {
        const char* what;
        fs::path path;
        ReadStatus status;
    } cases[] = {
        {"no such file", dir_ / "missing.dat", ReadStatus::not_found},
        {"no such folder", dir_ / "no" / "mabiru.dat", ReadStatus::not_found},
        {"a letter outside the code page", dir_ / "?" / "mabiru.dat", ReadStatus::not_found},
        {"a folder name over the limit", dir_ / std::string(300, 'x') / "mabiru.dat",
         ReadStatus::not_found},
        {"a folder in the file's place", dir_, ReadStatus::unreadable},
#ifdef _WIN32
        {"opens, but its first read fails", "Z:\\proc\\self\\mem", ReadStatus::unreadable},
#else
        {"opens, but its first read fails", "/proc/self/mem", ReadStatus::unreadable},
#endif
    };
    for (const auto& c : cases) {
        EXPECT_EQ(load_settings(map, c.path.string(), S), c.status) << c.what;
        EXPECT_EQ(map, read) << c.what;
    }
}

TEST_F(SettingsFile, LineRulesHoldInLongLinesAndAcrossReadBlocks) {
    const std::string x(13, 'x'), y(40, 'y'), z(40, 'z');
    std::string bytes = "a" + S + x + "\r\n";
    bytes += "b" + S + y + "\rz\r\n";
    // After a zero byte the CR LF no longer ends the text.
    bytes += "c" + S + "v\r" + std::string(1, '\0') + z + "\r\n";
    bytes += "d" + S + "w" + z + "\r" + z + "\r" + std::string(1, '\0') + z + "\r\n";
    bytes += "e" + S + y + "\r\x1A\r\nf" + S + "1\r\n";
    // Files are read in blocks of 1 MiB: a CR LF split between two of them.
    const std::string w((1u << 20) - 3, 'w');
    bytes = "g" + S + w + "\r\n" + bytes;
    ASSERT_EQ(bytes[(1u << 20) - 1], '\r');
    const SettingsMap expected = {
        {"g", w},       {"a", x}, {"b", y + "\rz"}, {"c", "v\r"}, {"d", "w" + z + "\r" + z + "\r"},
        {"e", y + "\r"}};
    EXPECT_EQ(load(bytes), expected);
    // 0x1A in the first of two blocks ends the file there.
    EXPECT_EQ(load("a" + S + "1\x1A" + w + "\r\nf" + S + "1\r\n"), (SettingsMap{{"a", "1"}}));
    // Small blocks put CRs, zeros and 0x1A at every place in a block.
    for (const std::size_t block : {1u, 7u, 16u}) {
        SettingsMap map;
        parse_settings(bytes, map, S, block);
        EXPECT_EQ(map, expected) << "in blocks of " << block;
    }
}

TEST_F(SettingsFile, LoadTakesAHugeLineWithoutLineFeed) {
    std::string bytes = "k\x01";
    bytes.append(100u << 20, 'v');
    SettingsMap map = load(bytes);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map["k"].size(), 100u << 20);
}

// Over the old file, whose attributes (elsewhere, permissions) it keeps, and
// with a value past the blocks of 1 MiB in which the save writes. Entries
// that load back are written whatever they hold: a separator inside a
// double-byte key, separators and CR in a value, a lone lead byte at the end.
TEST_F(SettingsFile, SaveWritesTheExactFormatInByteOrderKeepingThePermissions) {
    write(old_content);
#ifdef _WIN32
    SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_HIDDEN);
#else
    ::chmod(path_.c_str(), 0600);
#endif
    const std::string big(3 << 20, 'x'), odd = S + "v" + S + "\x02\r";
    SettingsMap map = {{"ab", "3"}, {"a", "2"}, {"B", "1"},      {"\x82\xA0", "4"},
                       {"e", ""},   {"f", big}, {"k\r", "\x81"}, {"\x82" + S + "key", odd}};
    ASSERT_TRUE(save_settings(map, path_, S));
    EXPECT_EQ(read(), "B" + S + "1\r\na" + S + "2\r\nab" + S + "3\r\ne" + S + "\r\nf" + S + big +
                          "\r\nk\r" + S + "\x81\r\n\x82" + S + "key" + S + odd + "\r\n\x82\xA0" +
                          S + "4\r\n");
    EXPECT_EQ(listing(), just_the_settings_file);
#ifdef _WIN32
    EXPECT_EQ(GetFileAttributesA(path_.c_str()) & FILE_ATTRIBUTE_HIDDEN,
              DWORD(FILE_ATTRIBUTE_HIDDEN));
#else
    struct stat st;
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
#endif
    // The in-memory text is the saved file, byte for byte.
    std::string text;
    ASSERT_TRUE(settings_text(map, S, text));
    EXPECT_EQ(text, read());

    // The empty value is written but does not load back.
    map.erase("e");
    EXPECT_EQ(loaded(), map);

    ASSERT_TRUE(save_settings(SettingsMap(), path_, S));
    EXPECT_EQ(read(), "");
}

TEST_F(SettingsFile, FirstStartDefaultsSurviveSaveAndLoad) {
    SettingsMap map;
    apply_defaults(map, "C:\\x\\");
    const SettingsMap defaults = map;
    to_file_forms(map);
    ASSERT_TRUE(save_settings(map, path_, field_separator));
    std::string bytes = read();
    EXPECT_EQ(bytes.substr(0, 12), "allow_files\x01");
    EXPECT_NE(bytes.find("password" + S + "69566bf6\r\n"), std::string::npos);

    SettingsMap back = loaded(path_, field_separator);
    to_memory_forms(back);
    EXPECT_EQ(back, defaults);
}

TEST_F(SettingsFile, EntriesThatWouldNotLoadBackAreRefusedAndKeepTheOldFile) {
    write(old_content);
    const std::string zero(1, '\0');
    const SettingsMap refused[] = {
        {{"host", "a\nb"}},
        {{"ho\nst", "a"}, {"id", "x"}},
        // 0x1A would end the file there; every later key would be lost.
        {{"host", "pasted\x1A"}, {"id", "me"}},
        {{"list\x1A", "v"}},
        {{"host", "a" + zero + "b"}},
        {{"ho" + zero, "v"}},
        {{"", "no key"}},
        {{"k" + S + "ey", "v"}},
        {{S + "key", "v"}},
        // The lead byte would take the separator for its second byte.
        {{"key\x82", "v"}},
    };
    for (const SettingsMap& map : refused) {
        EXPECT_FALSE(save_settings(map, path_, S)) << testing::PrintToString(map);
        expect_untouched(old_content);
        std::string text = "kept";
        EXPECT_FALSE(settings_text(map, S, text));
        EXPECT_EQ(text, "kept");
    }
    for (const std::string& separator :
         {std::string(), std::string("\x01\x01"), std::string("\n")}) {
        EXPECT_FALSE(save_settings({{"host", "v"}}, path_, separator));
        expect_untouched(old_content);
    }

    set_read_only(true);
    EXPECT_FALSE(save_settings(new_map, path_, S));
    expect_untouched(old_content);

    EXPECT_FALSE(save_settings(new_map, (dir_ / "no" / "mabiru.dat").string(), S));
    expect_untouched(old_content);
}

// A user who may change the file but not create files beside it: the save
// writes over the file itself.
TEST_F(SettingsFile, AFolderThatTakesNoNewFilesStillSavesTheFile) {
#ifdef _WIN32
    GTEST_SKIP() << "a folder's read-only attribute does not stop creating files on Windows";
#else
    write(old_content);
    ::chmod(dir_.c_str(), 0555);
    if (::geteuid() != 0) {
        EXPECT_TRUE(save_settings(new_map, path_, S));
    } else {
        // Root writes anywhere: try as nobody, who owns the file but not the
        // folder, so that only the folder stands in the way.
        ASSERT_EQ(::chown(path_.c_str(), 65534, 65534), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            if (::access(path_.c_str(), W_OK) != 0)
                ::_exit(2);
            ::_exit(save_settings(new_map, path_, S) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) >= 2)
            GTEST_SKIP() << "nobody cannot reach " << dir_;
        EXPECT_EQ(WEXITSTATUS(status), 1) << "the save failed";
    }
    EXPECT_EQ(loaded(), new_map);
    ::chmod(dir_.c_str(), 0755);
#endif
}

#ifdef MABIRU_TEST_SEAMS
TEST_F(SettingsFile, SaveWaitsForTheTestDelay) {
#ifdef _WIN32
    SetEnvironmentVariableA(MABIRU_SAVE_DELAY_ENV, "300");
#else
    ::setenv(MABIRU_SAVE_DELAY_ENV, "300", 1);
#endif
    auto start = std::chrono::steady_clock::now();
    bool saved = save_settings({{"k", "v"}}, path_, S);
    auto waited = std::chrono::steady_clock::now() - start;
#ifdef _WIN32
    SetEnvironmentVariableA(MABIRU_SAVE_DELAY_ENV, nullptr);
#else
    ::unsetenv(MABIRU_SAVE_DELAY_ENV);
#endif
    EXPECT_TRUE(saved);
    EXPECT_GE(waited, std::chrono::milliseconds(290));
    EXPECT_EQ(read(), "k\x01v\r\n");
}
#endif

constexpr TempKind kinds[] = {TempKind::writing, TempKind::replacement, TempKind::beside,
                              TempKind::backup};

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
                for (const char c : {'0', '7', 'z', 'A', '.', 'w', 'k', 'i', 'o', 'b'}) {
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

#ifdef _WIN32
// The longest settings path the system takes: 259 bytes and the terminator.
TEST_F(SettingsFile, ASettingsPathAtTheSystemsLimitSavesAndLoads) {
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
#endif
