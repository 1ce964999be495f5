// A settings file that cannot be written: the user is told, the dialog stays
// open with everything as it was, and the old file is never damaged.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

using SaveFailure = EditorTest;

} // namespace

TEST_F(SaveFailure, ReadOnlyFileShowsTheErrorKeepsTheDialogAndTheOldBytesThenSavesOnceWritable) {
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    folder.set_read_only("mabiru.dat", true);
    ASSERT_TRUE(start());
    type(*editor, {{"host", "new.example"}, {"allow_files", "new.txt\r\n"}});
    ASSERT_TRUE(editor->toggle(IDC_UPLOAD));
    const Values edited = on_screen(*editor);

    // A second try fails the same way. Each leaves every field as the user
    // left it, the password still plain.
    for (const char* attempt : {"first try", "second try"}) {
        SCOPED_TRACE(attempt);
        ASSERT_TRUE(ok_cannot_save([&] { EXPECT_TRUE(same_bytes(settings(), original)); }));
        EXPECT_EQ(on_screen(*editor), edited);
        EXPECT_TRUE(same_bytes(settings(), original));
    }

    folder.set_read_only("mabiru.dat", false);
    EXPECT_TRUE(ok_saves(
        with(sample_values(),
             {{"host", "new.example"}, {"allow_files", "new.txt\x02"}, {"is_upload", "0"}})));
    EXPECT_EQ(folder.names(), exe_and_settings);
}

TEST_F(SaveFailure, CancelAfterAFailedSaveWritesNothing) {
    const Bytes original = file_of(sample_values());
    folder.write("mabiru.dat", original);
    folder.set_read_only("mabiru.dat", true);
    ASSERT_TRUE(start());
    editor->type(IDC_HOST, "changed.example");
    ASSERT_TRUE(ok_cannot_save());

    folder.set_read_only("mabiru.dat", false);
    editor->click(IDCANCEL);
    ASSERT_TRUE(editor->exits_with(0));
    EXPECT_TRUE(same_bytes(settings(), original));
    EXPECT_EQ(folder.names(), exe_and_settings);
}
