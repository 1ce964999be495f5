// A folder that takes no new files: the save writes over the settings file
// itself, and a shorter file leaves nothing of the longer one behind.
#include "fault_kit.h"

using namespace e2e;
using namespace faults;

TEST(WrittenInPlace, NoTemporaryFileStillSavesLongerAndShorterFiles) {
    Folder folder;
    const std::string exe = folder.add_editor();
    Version current = version_of(sample_values(), "s3cret");
    folder.write("mabiru.dat", file_of(current.file));

    for (const int lines : {400, 3}) {
        SCOPED_TRACE(std::to_string(lines) + " lines");
        Editor editor(exe, "", "", {{MABIRU_NO_TEMP_ENV, "1"}});
        ASSERT_TRUE(editor.opened());
        EXPECT_EQ(on_screen(editor), current.screen);
        current = type_new_values(editor, current, "in-place", lines);
        EXPECT_TRUE(ok_saves(editor, folder.file("mabiru.dat"), current.file));
        EXPECT_EQ(folder.names(), exe_and_settings);
    }
}
