// A save changes the settings and nothing else: the user's files beside it,
// every name the settings file has, a symbolic link to it, and a file that
// another program keeps open all come through.
#include "control_ids.h"
#include "settings/temp_files.h"
#include "settings_bytes.h"
#include "tests/common/look_alike_names.h"

#include <algorithm>

using namespace e2e;

namespace {

// Under Wine a symbolic link is a Unix one, made and told apart by Unix
// programs. Wine starts them like Windows ones, but gives no handle to wait
// on, so each says it is done by writing `done`.
std::string unix_path(const std::string& path) {
    using ToUnix = char*(CDECL*)(const WCHAR*);
    const auto to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!to_unix)
        return "";
    std::wstring wide(MAX_PATH, L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(
        CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()))));
    char* const unix = to_unix(wide.c_str());
    const std::string result = unix ? unix : "";
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// Runs `script` in the Unix shell; answers what it wrote to `done`.
std::optional<Bytes> run_shell(const std::string& script, const std::string& done) {
    DeleteFileA(done.c_str());
    std::string line = "/bin/sh -c \"" + script + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA("/bin/sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return std::nullopt;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    std::optional<Bytes> said;
    poll_until([&] { return (said = read_file(done)) && !said->empty(); }, kBoxTimeoutMs);
    return said;
}

// The file's identity on its volume: a replaced file gets a new one, a file
// written over keeps its own.
std::optional<ULONGLONG> file_id(const std::string& path) {
    const HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (!known)
        return std::nullopt;
    return (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

using SaveKeeps = EditorTest;

} // namespace

TEST_F(SaveKeeps, EveryNameOfTheSettingsFileShowsTheSave) {
    folder.write("mabiru.dat", file_of(sample_values()));
    ASSERT_TRUE(CreateHardLinkA(folder.file("second-name.dat").c_str(),
                                folder.file("mabiru.dat").c_str(), nullptr));
    ASSERT_TRUE(start());
    editor->type(IDC_HOST, "linked.example");
    const Values expected = with(sample_values(), {{"host", "linked.example"}});
    EXPECT_TRUE(ok_saves(expected));
    EXPECT_TRUE(same_bytes(folder.read("second-name.dat").value_or(""), file_of(expected)))
        << "the file's second name still shows the old settings";
    EXPECT_EQ(folder.names(),
              (std::vector<std::string>{"mabiru-setup.exe", "mabiru.dat", "second-name.dat"}));
}

TEST_F(SaveKeeps, ASymbolicLinkStaysALinkAndTheFileItLeadsToIsSaved) {
    Folder elsewhere("elsewhere");
    elsewhere.write("real.dat", file_of(sample_values()));
    const std::string link = unix_path(folder.file("mabiru.dat"));
    if (link.empty())
        GTEST_SKIP() << "symbolic links are made here through Wine's Unix side";
    const std::string real = unix_path(elsewhere.file("real.dat"));
    const std::string done = elsewhere.file("done.txt");
    const std::string said = "' > '" + unix_path(done) + "'";
    ASSERT_EQ(run_shell("ln -s '" + real + "' '" + link + "' && echo 'made" + said, done),
              std::optional<Bytes>("made\n"));
    // Wine's own calls cannot delete a Unix link: the folder is left clean.
    struct Unlink {
        std::function<void()> unlink;
        ~Unlink() { unlink(); }
    } unlink{[&] {
        run_shell("rm -f '" + link + "' && echo 'gone" + said, done);
        DeleteFileA(done.c_str());
    }};

    ASSERT_TRUE(start());
    editor->type(IDC_HOST, "through-the-link.example");
    EXPECT_TRUE(e2e::ok_saves(*editor, elsewhere.file("real.dat"),
                              with(sample_values(), {{"host", "through-the-link.example"}})));
    EXPECT_EQ(elsewhere.names(), (std::vector<std::string>{"done.txt", "real.dat"}));
    EXPECT_EQ(
        run_shell("if test -L '" + link + "'; then echo link; else echo file; fi" + said.substr(1),
                  done),
        std::optional<Bytes>("link\n"));
}

TEST_F(SaveKeeps, AFileThatAnotherProgramKeepsOpenIsSavedOverItsOwnBytes) {
    ASSERT_TRUE(open(sample_values()));
    editor->type(IDC_USER_ID, "while-held");

    // Shared for reading and writing, as a plain open shares it, but not for
    // deleting or renaming: the file cannot be replaced, only written.
    const HANDLE held =
        CreateFileA(folder.file("mabiru.dat").c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    editor->click(IDOK);
    const ::testing::AssertionResult ended = editor->exits_with(0);
    CloseHandle(held);
    ASSERT_TRUE(ended);

    EXPECT_TRUE(same_bytes(settings(), file_of(with(sample_values(), {{"id", "while-held"}}))));
    EXPECT_EQ(folder.names(), exe_and_settings);
}

TEST_F(SaveKeeps, FilesBesideTheSettingsSurviveAndOnlyLeftoversNamedLongAgoGo) {
    ASSERT_TRUE(open(sample_values()));
    // Killed editors' leftovers of every kind, named eleven minutes ago, go.
    // Other saves', named nine minutes ago though their content is older,
    // or named by a clock ahead, stay: a rename keeps the last-write time, so
    // only the name tells when a save left the file. So do the user's and
    // other programs' files, however old, an earlier version's, which may
    // hold the only copy of the settings, and a folder.
    std::vector<std::string> gone, kept = look_alike_names();
    kept.insert(kept.end(), {earlier_name("00000"), earlier_name("a1b2c")});
    for (const TempKind kind :
         {TempKind::writing, TempKind::replacement, TempKind::beside, TempKind::backup}) {
        gone.push_back(temp_name(kind, now_s() - 11 * 60));
        kept.push_back(temp_name(kind, now_s() - 9 * 60));
        kept.push_back(temp_name(kind, now_s() + 3600));
    }
    for (const std::string& name : gone)
        folder.write(name, "host\x01half");
    for (const std::string& name : kept) {
        folder.write(name, "host\x01" + name);
        folder.set_age(name, 60 * 24 * 3);
    }
    const std::string stale_folder = temp_name(TempKind::writing, now_s() - 3600);
    ASSERT_TRUE(CreateDirectoryA(folder.file(stale_folder).c_str(), nullptr));
    // Another editor's save, stalled as long while it writes its new file:
    // its open handle keeps it.
    const std::string writing = temp_name(TempKind::writing, now_s() - 11 * 60 - 30);
    folder.write(writing, "");
    HeldFile busy(folder.file(writing), GENERIC_WRITE);
    ASSERT_TRUE(busy.is_open());
    // The names this editor would pick first are taken: it must move on.
    std::vector<std::string> taken;
    for (long long at = now_s(); at < now_s() + 20; ++at) {
        taken.push_back(temp_name(at % 2 ? TempKind::writing : TempKind::replacement, at));
        folder.write(taken.back(), "host\x01taken");
    }
    const std::optional<ULONGLONG> before = file_id(folder.file("mabiru.dat"));
    ASSERT_TRUE(before);

    editor->type(IDC_HOST, "tidy.example");
    EXPECT_TRUE(ok_saves(with(sample_values(), {{"host", "tidy.example"}})));
    for (const std::string& name : gone)
        EXPECT_FALSE(folder.exists(name)) << name << ": a killed editor's leftover stays";
    for (const std::string& name : kept)
        EXPECT_EQ(folder.read(name), std::optional<Bytes>("host\x01" + name)) << escaped(name);
    EXPECT_TRUE(folder.exists(stale_folder));
    EXPECT_TRUE(folder.exists(writing)) << "another editor's new file went while it was written";
    for (const std::string& name : taken)
        EXPECT_EQ(folder.read(name), std::optional<Bytes>("host\x01taken")) << name;
    EXPECT_NE(file_id(folder.file("mabiru.dat")), before)
        << "the file was written over, not replaced: no free temporary name was found";
}
