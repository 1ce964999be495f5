// A disk without room for the new settings file: OK says the file cannot be
// saved, the old file keeps every byte, nothing half-written is left, and
// once there is room again OK saves. It needs a small file system of its
// own, which full_disk.sh mounts and names in MABIRU_FAULTS_FULL_DISK_DIR.
#include "fault_kit.h"

#include <cstdio>

using namespace e2e;
using namespace faults;

namespace {

constexpr char kFolderVariable[] = "MABIRU_FAULTS_FULL_DISK_DIR";
// Room left on the disk: the new file can begin but not end.
constexpr LONGLONG kRoomLeft = 8192;

// Writes to `path` until the disk takes no more, answering how much it took.
LONGLONG fill(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    static char block[64 * 1024];
    LONGLONG total = 0;
    for (DWORD chunk = sizeof block; chunk > 0;) {
        DWORD put = 0;
        const bool ok = WriteFile(h, block, chunk, &put, nullptr) != 0;
        total += put;
        if (!ok || put < chunk)
            chunk /= 2;
    }
    CloseHandle(h);
    return total;
}

bool shrink(const std::string& path, LONGLONG size) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER at;
    at.QuadPart = size;
    const bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}

LONGLONG free_space(const std::string& folder) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr))
        return -1;
    return static_cast<LONGLONG>(available.QuadPart);
}

} // namespace

TEST(FullDisk, OkShowsTheErrorKeepsTheOldFileWholeAndSavesOnceThereIsRoom) {
    const std::string given = variable(kFolderVariable).value_or("");
    if (given.empty())
        GTEST_SKIP() << kFolderVariable
                     << " does not name a folder on a small file system of its own "
                        "(full_disk.sh mounts one and sets it)";
    const std::string folder = given.back() == '\\' ? given : given + '\\';
    ASSERT_EQ(names_in(folder), std::vector<std::string>{})
        << "the folder " << folder << " is not empty";

    const std::string exe = folder + "mabiru-setup.exe";
    ASSERT_TRUE(CopyFileA(editor_exe().c_str(), exe.c_str(), FALSE))
        << "cannot copy the editor to " << folder << " (error " << GetLastError() << ")";
    const Version old = version_of(sample_values(), "s3cret");
    const Bytes original = file_of(old.file);
    ASSERT_TRUE(write_file(folder + "mabiru.dat", original));

    auto editor = start_editor(exe);
    ASSERT_TRUE(editor->opened());
    // The disk fills up while the dialog is open.
    const std::string filler = folder + "filler.bin";
    const LONGLONG filled = fill(filler);
    ASSERT_GT(filled, kRoomLeft) << "cannot fill the disk";
    ASSERT_TRUE(shrink(filler, filled - kRoomLeft));
    const Version typed = type_new_values(*editor, old, "full-disk", 1500);
    const LONGLONG room = free_space(folder);
    ASSERT_GE(room, 0);
    ASSERT_LT(room, static_cast<LONGLONG>(file_of(typed.file).size()))
        << "the new settings file would fit";
    std::printf("[ disk     ] %lld bytes free for a new settings file of %u bytes\n", room,
                static_cast<unsigned>(file_of(typed.file).size()));

    ASSERT_TRUE(ok_cannot_save(*editor, folder, [&] {
        EXPECT_TRUE(same_bytes(read_file(folder + "mabiru.dat").value_or(""), original));
        EXPECT_EQ(names_in(folder),
                  (std::vector<std::string>{"filler.bin", "mabiru-setup.exe", "mabiru.dat"}))
            << "a half-written file was left";
    }));
    EXPECT_EQ(on_screen(*editor), typed.screen);

    // The user makes room and presses OK again.
    ASSERT_TRUE(DeleteFileA(filler.c_str()));
    EXPECT_TRUE(ok_saves(*editor, folder + "mabiru.dat", typed.file));
    EXPECT_EQ(names_in(folder), exe_and_settings);
}
