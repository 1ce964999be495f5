// Another program reads the settings file through a mapping of it, as a
// viewer or an indexer does, while OK saves a shorter file: the file cannot
// be cut while it is mapped. The file must read as one whole version, the
// box must say when the save did not finish, and once the reader lets go OK
// saves, leaving nothing beside the settings.
#include "fault_kit.h"

using namespace e2e;
using namespace faults;

namespace {

// A read-only mapping of the whole file, as a reader makes it: shared for
// reading and writing, not for deleting.
class MappedReader {
  public:
    explicit MappedReader(const std::string& path)
        : file_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr)),
          mapping_(file_ == INVALID_HANDLE_VALUE
                       ? nullptr
                       : CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr)),
          view_(mapping_ ? MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0) : nullptr) {}
    ~MappedReader() { release(); }
    MappedReader(const MappedReader&) = delete;
    MappedReader& operator=(const MappedReader&) = delete;

    bool is_mapped() const { return view_ != nullptr; }
    void release() {
        if (view_)
            UnmapViewOfFile(view_);
        if (mapping_)
            CloseHandle(mapping_);
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
        view_ = nullptr;
        mapping_ = nullptr;
        file_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE file_;
    HANDLE mapping_;
    void* view_;
};

} // namespace

TEST(SettingsFileMapped, AShorterSaveLeavesOneWholeVersionAndSavesOnceTheReaderLetsGo) {
    Folder folder;
    const std::string exe = folder.add_editor();
    Version old = version_of(sample_values(), "s3cret");
    old.file["allow_files"] = marked_lines(file_list("long", 300));
    const Bytes original = file_of(old.file);
    folder.write("mabiru.dat", original);
    auto editor = start_editor(exe);
    ASSERT_TRUE(editor->opened());
    // Emptied lists: the new file is much shorter than the old one.
    const Values emptied = {{"allow_files", ""}, {"deny_files", ""}};
    type(*editor, emptied);
    const Bytes saved = file_of(with(old.file, emptied));
    ASSERT_LT(saved.size(), original.size());

    MappedReader reader(folder.file("mabiru.dat"));
    ASSERT_TRUE(reader.is_mapped());
    editor->click(IDOK);
    std::optional<Box> box = editor->wait_box();
    const Bytes during = folder.read("mabiru.dat").value_or("");
    if (box) {
        EXPECT_TRUE(same_bytes(during, original)) << "the box says not saved";
        ASSERT_TRUE(answers_save_error(*editor, *box, folder.path()));
    } else {
        // Where the system lets the save through, it must be whole.
        EXPECT_TRUE(same_bytes(during, saved));
    }
    reader.release();

    if (box)
        editor->click(IDOK);
    EXPECT_TRUE(editor->exits_with(0));
    EXPECT_TRUE(same_bytes(folder.read("mabiru.dat").value_or(""), saved));
    EXPECT_EQ(folder.names(), exe_and_settings);
}
