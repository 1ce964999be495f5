// The harness's own file reading, where a race with another program would
// make an end-to-end test fail at random instead of for a reason.
#include "harness.h"

using namespace e2e;

TEST(Harness, ReadsAFileJustRenamedIntoPlaceWhileTheMoverStillHoldsIt) {
    Folder folder;
    folder.write("url.part", "https://example.org/");
    // A rename needs delete access; the mover may still hold that handle
    // when the new name appears.
    HANDLE mover = CreateFileA(folder.file("url.part").c_str(), DELETE | GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(mover, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(MoveFileExA(folder.file("url.part").c_str(), folder.file("url.txt").c_str(), 0));
    EXPECT_EQ(folder.read("url.txt"), "https://example.org/");
    CloseHandle(mover);
}
