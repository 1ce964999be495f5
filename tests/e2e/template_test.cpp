// The dialog's layout: template 101 as stored in the exe, and the dialog
// box that the platform builds from it.
#include "control_ids.h"
#include "harness.h"

#include <cstdint>
#include <cstring>

using namespace e2e;

namespace {

constexpr uint16_t kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;
constexpr uint16_t kNoId = 0xFFFF;

constexpr uint32_t kCheckBox = 0x50010003, kPush = 0x50010000, kDefPush = 0x50010001;
constexpr uint32_t kLineEdit = 0x50810080, kPasswordEdit = 0x508100A0, kListEdit = 0x50A11084;
constexpr uint32_t kGroupBox = 0x50000007, kSideLabel = 0x50020200, kTopLabel = 0x50020000;

struct Item {
    uint32_t style;
    uint32_t ex_style;
    int16_t x, y, cx, cy;
    uint16_t id;
    uint16_t class_atom; // 0 when the class is given by name
    std::u16string class_name;
    std::u16string caption;
    uint16_t creation_data;
};

struct Template {
    uint32_t style, ex_style;
    int16_t x, y, cx, cy;
    std::u16string menu, window_class, caption;
    uint16_t point_size = 0;
    std::u16string face;
    std::vector<Item> items;
};

const std::vector<Item> kItems = {
    {kCheckBox, 0, 13, 23, 68, 10, IDC_UPLOAD, kButton, u"", u"アップロードを行う", 0},
    {kPush, 0, 154, 17, 10, 12, IDC_UPLOAD_HELP, kButton, u"", u"？", 0},
    {kLineEdit, 0, 57, 45, 101, 14, IDC_HOST, kEdit, u"", u"", 0},
    {kLineEdit, 0, 57, 66, 53, 14, IDC_USER_ID, kEdit, u"", u"", 0},
    {kPasswordEdit, 0, 57, 87, 53, 14, IDC_PASSWORD, kEdit, u"", u"", 0},
    {kLineEdit, 0, 57, 120, 102, 14, IDC_GHOST_ROOT, kEdit, u"", u"", 0},
    {kLineEdit, 0, 57, 145, 25, 14, IDC_TIME_DIFF, kEdit, u"", u"", 0},
    {kCheckBox, 0, 13, 189, 42, 10, IDC_CREATE_ARCHIVE, kButton, u"", u"作成する", 0},
    {kPush, 0, 154, 186, 10, 12, IDC_ARCHIVE_HELP, kButton, u"", u"？", 0},
    {kLineEdit, 0, 13, 213, 149, 14, IDC_ARCHIVE_FILENAME, kEdit, u"", u"", 0},
    {kLineEdit, 0, 13, 249, 149, 14, IDC_ARCHIVE_FOLDER, kEdit, u"", u"", 0},
    {kPush, 0, 332, 17, 10, 12, IDC_FILES_HELP, kButton, u"", u"？", 0},
    {kListEdit, 0, 183, 31, 160, 125, IDC_ALLOW_FILES, kEdit, u"", u"", 0},
    {kListEdit, 0, 183, 177, 160, 72, IDC_DENY_FILES, kEdit, u"", u"", 0},
    {kPush, 0, 175, 264, 39, 14, IDC_ABOUT, kButton, u"", u"about", 0},
    {kDefPush, 0, 248, 264, 50, 14, IDOK, kButton, u"", u"OK", 0},
    {kPush, 0, 302, 264, 50, 14, IDCANCEL, kButton, u"", u"キャンセル", 0},
    {kGroupBox, 0, 7, 7, 162, 160, kNoId, kButton, u"", u"FTPアップロード", 0},
    {kGroupBox, 0, 7, 175, 162, 103, kNoId, kButton, u"", u"nar/zipアーカイブ", 0},
    {kGroupBox, 0, 175, 7, 177, 250, kNoId, kButton, u"", u"対象ファイル", 0},
    {kSideLabel, 0, 30, 45, 25, 14, kNoId, kStatic, u"", u"ホスト名", 0},
    {kSideLabel, 0, 47, 66, 8, 14, kNoId, kStatic, u"", u"ID", 0},
    {kSideLabel, 0, 23, 87, 32, 14, kNoId, kStatic, u"", u"パスワード", 0},
    {kSideLabel, 0, 13, 109, 106, 9, kNoId, kStatic, u"", u"ゴーストのルートディレクトリ", 0},
    {kSideLabel, 0, 40, 145, 15, 14, kNoId, kStatic, u"", u"時差", 0},
    {kTopLabel, 0, 183, 21, 140, 8, kNoId, kStatic, u"", u"更新対象に含めるファイル", 0},
    {kTopLabel, 0, 183, 165, 160, 10, kNoId, kStatic, u"",
     u"除外するファイル（上で指定したファイルの例外）", 0},
    {kTopLabel, 0, 13, 203, 31, 8, kNoId, kStatic, u"", u"ファイル名", 0},
    {kTopLabel, 0, 13, 237, 76, 8, kNoId, kStatic, u"", u"ディスク上の保存フォルダ", 0},
    {kPush, 0, 217, 264, 12, 14, IDC_DOG, kButton, u"", u"犬", 0},
    {kCheckBox, 0, 112, 149, 49, 10, IDC_PASSIVE, kButton, u"", u"PASVモード", 0},
};

// Reads the classic DLGTEMPLATE layout: words, strings of UTF-16 units,
// and "name or ordinal" fields that start with 0xFFFF for an ordinal.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    size_t offset() const { return pos_; }
    void align4() { pos_ = (pos_ + 3) & ~size_t(3); }

    uint16_t word() {
        if (pos_ + 2 > size_) {
            ok_ = false;
            return 0;
        }
        uint16_t v;
        memcpy(&v, data_ + pos_, 2);
        pos_ += 2;
        return v;
    }
    uint32_t dword() {
        uint32_t lo = word();
        return lo | (uint32_t(word()) << 16);
    }
    std::u16string string() {
        std::u16string s;
        while (ok_) {
            uint16_t c = word();
            if (c == 0)
                break;
            s += static_cast<char16_t>(c);
        }
        return s;
    }
    // Returns the ordinal, or 0 with the name in `name`.
    uint16_t name_or_ordinal(std::u16string& name) {
        uint16_t first = word();
        if (first == 0xFFFF)
            return word();
        if (first == 0)
            return 0;
        name = std::u16string(1, static_cast<char16_t>(first)) + string();
        return 0;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

::testing::AssertionResult read_template(const std::string& exe, Template& t) {
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return ::testing::AssertionFailure() << "cannot load " << exe << " as data";
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_SETUP),
                                  MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN));
    if (!found) {
        FreeLibrary(module);
        return ::testing::AssertionFailure() << "no Japanese dialog resource 101";
    }
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    Reader r(data, SizeofResource(module, found));
    t.style = r.dword();
    t.ex_style = r.dword();
    uint16_t count = r.word();
    t.x = r.word();
    t.y = r.word();
    t.cx = r.word();
    t.cy = r.word();
    if (r.name_or_ordinal(t.menu))
        t.menu = u"#ordinal";
    if (r.name_or_ordinal(t.window_class))
        t.window_class = u"#ordinal";
    t.caption = r.string();
    if (t.style & DS_SETFONT) {
        t.point_size = r.word();
        t.face = r.string();
    }
    for (uint16_t i = 0; i < count && r.ok(); ++i) {
        r.align4();
        Item item{};
        item.style = r.dword();
        item.ex_style = r.dword();
        item.x = r.word();
        item.y = r.word();
        item.cx = r.word();
        item.cy = r.word();
        item.id = r.word();
        item.class_atom = r.name_or_ordinal(item.class_name);
        std::u16string title;
        if (r.name_or_ordinal(title))
            title = u"#ordinal";
        item.caption = title;
        item.creation_data = r.word();
        t.items.push_back(item);
    }
    bool ok = r.ok();
    FreeLibrary(module);
    if (!ok)
        return ::testing::AssertionFailure() << "the template ends early";
    return ::testing::AssertionSuccess();
}

std::string utf8(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

TEST(DialogTemplate, StoredTemplateHasTheHeaderAndAllThirtyOneItemsAsLaidOut) {
    Template t;
    ASSERT_TRUE(read_template(editor_exe(), t));

    EXPECT_EQ(t.style, 0x80C800C0u);
    EXPECT_EQ(t.ex_style, 0u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 359);
    EXPECT_EQ(t.cy, 285);
    EXPECT_TRUE(t.menu.empty());
    EXPECT_TRUE(t.window_class.empty());
    EXPECT_EQ(utf8(t.caption), "MABIRU - setup");
    EXPECT_EQ(t.point_size, 9);
    EXPECT_TRUE(t.face == u"ＭＳ Ｐゴシック") << utf8(t.face);

    ASSERT_EQ(t.items.size(), kItems.size());
    for (size_t i = 0; i < kItems.size(); ++i) {
        const Item& want = kItems[i];
        const Item& got = t.items[i];
        SCOPED_TRACE("item " + std::to_string(i + 1) + " (ID " + std::to_string(want.id) + ")");
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.style, want.style) << std::hex << got.style;
        EXPECT_EQ(got.ex_style, 0u);
        EXPECT_EQ(got.class_atom, want.class_atom);
        EXPECT_TRUE(got.class_name.empty()) << utf8(got.class_name);
        EXPECT_TRUE(got.caption == want.caption)
            << "caption \"" << escaped(utf8(got.caption)) << "\"";
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(got.creation_data, 0);
    }
}

TEST(DialogTemplate, OpenDialogShowsEveryItemEnabledAtTheTopLeftWithTheTabOrder) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());

    RECT frame;
    GetWindowRect(editor.dialog(), &frame);
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    const LONG style = GetWindowLongA(editor.dialog(), GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD), 0);

    // Every item, in creation order, with its class, style and caption.
    std::vector<HWND> children;
    for (HWND c = GetWindow(editor.dialog(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        children.push_back(c);
    ASSERT_EQ(children.size(), kItems.size());
    for (size_t i = 0; i < kItems.size(); ++i) {
        const Item& want = kItems[i];
        HWND c = children[i];
        SCOPED_TRACE("item " + std::to_string(i + 1) + " (ID " + std::to_string(want.id) + ")");
        EXPECT_EQ(GetDlgCtrlID(c), want.id == kNoId ? 0xFFFF : want.id);
        const char* cls = want.class_atom == kButton ? "Button"
                          : want.class_atom == kEdit ? "Edit"
                                                     : "Static";
        EXPECT_EQ(_stricmp(class_name(c).c_str(), cls), 0) << class_name(c);
        // Edits in a dialog trade WS_BORDER for a sunken client edge.
        const DWORD live = GetWindowLongA(c, GWL_STYLE);
        EXPECT_EQ(live & ~DWORD(WS_BORDER), want.style & ~DWORD(WS_BORDER)) << std::hex << live;
        if (want.style & WS_BORDER) {
            EXPECT_TRUE((live & WS_BORDER) || (GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
        }
        EXPECT_TRUE(IsWindowVisible(c));
        EXPECT_TRUE(IsWindowEnabled(c));
        if (want.class_atom != kEdit) {
            const int n =
                WideCharToMultiByte(932, 0, reinterpret_cast<LPCWSTR>(want.caption.c_str()), -1,
                                    nullptr, 0, nullptr, nullptr);
            std::string caption(n, '\0');
            WideCharToMultiByte(932, 0, reinterpret_cast<LPCWSTR>(want.caption.c_str()), -1,
                                caption.data(), n, nullptr, nullptr);
            caption.resize(n - 1);
            EXPECT_EQ(escaped(window_text(c)), escaped(caption));
        }
    }

    // The password shows only mask characters.
    DWORD_PTR mask = 0;
    SendMessageTimeoutA(editor.item(IDC_PASSWORD), EM_GETPASSWORDCHAR, 0, 0, SMTO_ABORTIFHUNG, 5000,
                        &mask);
    EXPECT_NE(mask, 0u);

    // Tab visits the interactive items; group boxes and labels are skipped.
    const std::vector<int> tab_order = {
        IDC_UPLOAD,         IDC_UPLOAD_HELP,
        IDC_HOST,           IDC_USER_ID,
        IDC_PASSWORD,       IDC_GHOST_ROOT,
        IDC_TIME_DIFF,      IDC_CREATE_ARCHIVE,
        IDC_ARCHIVE_HELP,   IDC_ARCHIVE_FILENAME,
        IDC_ARCHIVE_FOLDER, IDC_FILES_HELP,
        IDC_ALLOW_FILES,    IDC_DENY_FILES,
        IDC_ABOUT,          IDOK,
        IDCANCEL,           IDC_DOG,
        IDC_PASSIVE,        IDC_UPLOAD,
    };
    std::vector<int> visited = {IDC_UPLOAD};
    HWND at = editor.item(IDC_UPLOAD);
    for (size_t i = 1; i < tab_order.size(); ++i) {
        at = GetNextDlgTabItem(editor.dialog(), at, FALSE);
        visited.push_back(GetDlgCtrlID(at));
    }
    EXPECT_EQ(visited, tab_order);

    editor.click(IDCANCEL);
    EXPECT_TRUE(editor.exits_with(0));
}
