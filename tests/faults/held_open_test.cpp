// Another program holds the settings file open and shares it with nobody:
// OK says the file cannot be saved, the dialog stays as the user left it,
// the file keeps its bytes, and once the other program lets go OK saves.
#include "fault_kit.h"

using namespace e2e;
using namespace faults;

TEST(SettingsFileHeldOpen, OkShowsTheErrorKeepsDialogAndBytesThenSavesOnceReleased) {
    Folder folder;
    const std::string exe = folder.add_editor();
    const Version old = version_of(sample_values(), "s3cret");
    const Bytes original = file_of(old.file);
    folder.write("mabiru.dat", original);
    auto editor = start_editor(exe);
    ASSERT_TRUE(editor->opened());
    const Version typed = type_new_values(*editor, old, "held", 200);

    // A reader such as the publishing tool, then a program that writes it,
    // each sharing it with nobody.
    const struct {
        const char* holder;
        DWORD access;
    } holders[] = {{"a reader", GENERIC_READ}, {"a writer", GENERIC_READ | GENERIC_WRITE}};
    for (const auto& holder : holders) {
        SCOPED_TRACE(std::string("held open by ") + holder.holder);
        HeldFile held(folder.file("mabiru.dat"), holder.access);
        ASSERT_TRUE(held.is_open());

        ASSERT_TRUE(ok_cannot_save(*editor, folder.path(),
                                   [&] { EXPECT_TRUE(same_bytes(held.bytes(), original)); }));
        EXPECT_EQ(on_screen(*editor), typed.screen);
        held.release();
        EXPECT_TRUE(same_bytes(folder.read("mabiru.dat").value_or(""), original));
        // The failed save took its new file away again.
        EXPECT_EQ(folder.names(), exe_and_settings);
    }

    // The password scrambled once, however often OK failed before.
    EXPECT_TRUE(ok_saves(*editor, folder.file("mabiru.dat"), typed.file));
    EXPECT_EQ(folder.names(), exe_and_settings);
}
