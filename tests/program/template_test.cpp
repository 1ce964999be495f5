// Template 101 as the resource compiler wrote it: the classic form, class
// atoms, and no style bit beyond the listed ones.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "resources/control_ids.h"
#include "settings/catalogue.h"

namespace {

struct Item {
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::uint16_t id = 0;
    std::uint16_t class_atom = 0; // 0 when the class is given by name
    std::u16string caption;
};

struct Template {
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::u16string caption;
    std::uint16_t point_size = 0;
    std::u16string face;
    std::vector<Item> items;
};

class Reader {
  public:
    explicit Reader(const unsigned char* data) : data_(data) {}
    std::uint16_t word() {
        std::uint16_t value;
        std::memcpy(&value, data_ + offset_, 2);
        offset_ += 2;
        return value;
    }
    std::uint32_t dword() {
        std::uint32_t value;
        std::memcpy(&value, data_ + offset_, 4);
        offset_ += 4;
        return value;
    }
    std::int16_t coordinate() { return static_cast<std::int16_t>(word()); }
    std::u16string text() {
        std::u16string value;
        for (char16_t c; (c = static_cast<char16_t>(word())) != 0;)
            value += c;
        return value;
    }
    // A name or an ordinal; answers the ordinal, or 0 after skipping a name.
    std::uint16_t ordinal_or_name(std::u16string* name = nullptr) {
        std::uint16_t first = word();
        if (first == 0xFFFF)
            return word();
        offset_ -= 2;
        std::u16string value = text();
        if (name)
            *name = value;
        return 0;
    }
    void align_dword() { offset_ = (offset_ + 3) & ~std::size_t{3}; }

  private:
    const unsigned char* data_;
    std::size_t offset_ = 0;
};

Template load_setup_template() {
    Template result;
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_SETUP), MAKEINTRESOURCEA(5));
    if (!found)
        return result;
    const auto* data =
        static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, found)));
    Reader in(data);
    result.style = in.dword();
    result.ex_style = in.dword();
    const std::uint16_t count = in.word();
    result.x = in.coordinate();
    result.y = in.coordinate();
    result.cx = in.coordinate();
    result.cy = in.coordinate();
    EXPECT_EQ(in.ordinal_or_name(), 0) << "menu";
    std::u16string class_name;
    EXPECT_EQ(in.ordinal_or_name(&class_name), 0) << "class";
    EXPECT_TRUE(class_name.empty());
    result.caption = in.text();
    if (result.style & DS_SETFONT) {
        result.point_size = in.word();
        result.face = in.text();
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        in.align_dword();
        Item item;
        item.style = in.dword();
        item.ex_style = in.dword();
        item.x = in.coordinate();
        item.y = in.coordinate();
        item.cx = in.coordinate();
        item.cy = in.coordinate();
        item.id = in.word();
        item.class_atom = in.ordinal_or_name();
        std::u16string caption;
        if (in.ordinal_or_name(&caption) == 0)
            item.caption = caption;
        const std::uint16_t extra = in.word();
        EXPECT_EQ(extra, 0) << "creation data of item " << i + 1;
        result.items.push_back(item);
    }
    return result;
}

const Template& setup_template() {
    static const Template loaded = load_setup_template();
    return loaded;
}

const Item* find_item(int id) {
    for (const Item& item : setup_template().items)
        if (item.id == static_cast<std::uint16_t>(id))
            return &item;
    return nullptr;
}

constexpr std::uint16_t button = 0x80, edit = 0x81, label = 0x82;
constexpr std::uint16_t no_id = 0xFFFF;

struct Expected {
    std::uint16_t id;
    std::uint16_t class_atom;
    std::uint32_t style;
    int x, y, cx, cy;
    const char16_t* caption;
};

const Expected expected_items[31] = {
    {IDC_UPLOAD, button, 0x50010003, 13, 23, 68, 10, u"アップロードを行う"},
    {IDC_UPLOAD_HELP, button, 0x50010000, 154, 17, 10, 12, u"\uFF1F"},
    {IDC_HOST, edit, 0x50810080, 57, 45, 101, 14, u""},
    {IDC_USER_ID, edit, 0x50810080, 57, 66, 53, 14, u""},
    {IDC_PASSWORD, edit, 0x508100A0, 57, 87, 53, 14, u""},
    {IDC_GHOST_ROOT, edit, 0x50810080, 57, 120, 102, 14, u""},
    {IDC_TIME_DIFF, edit, 0x50810080, 57, 145, 25, 14, u""},
    {IDC_CREATE_ARCHIVE, button, 0x50010003, 13, 189, 42, 10, u"作成する"},
    {IDC_ARCHIVE_HELP, button, 0x50010000, 154, 186, 10, 12, u"\uFF1F"},
    {IDC_ARCHIVE_FILENAME, edit, 0x50810080, 13, 213, 149, 14, u""},
    {IDC_ARCHIVE_FOLDER, edit, 0x50810080, 13, 249, 149, 14, u""},
    {IDC_FILES_HELP, button, 0x50010000, 332, 17, 10, 12, u"\uFF1F"},
    {IDC_ALLOW_FILES, edit, 0x50A11084, 183, 31, 160, 125, u""},
    {IDC_DENY_FILES, edit, 0x50A11084, 183, 177, 160, 72, u""},
    {IDC_ABOUT, button, 0x50010000, 175, 264, 39, 14, u"about"},
    {IDOK, button, 0x50010001, 248, 264, 50, 14, u"OK"},
    {IDCANCEL, button, 0x50010000, 302, 264, 50, 14, u"キャンセル"},
    {no_id, button, 0x50000007, 7, 7, 162, 160, u"FTPアップロード"},
    {no_id, button, 0x50000007, 7, 175, 162, 103, u"nar/zipアーカイブ"},
    {no_id, button, 0x50000007, 175, 7, 177, 250, u"対象ファイル"},
    {no_id, label, 0x50020200, 30, 45, 25, 14, u"ホスト名"},
    {no_id, label, 0x50020200, 47, 66, 8, 14, u"ID"},
    {no_id, label, 0x50020200, 23, 87, 32, 14, u"パスワード"},
    {no_id, label, 0x50020200, 13, 109, 106, 9, u"ゴーストのルートディレクトリ"},
    {no_id, label, 0x50020200, 40, 145, 15, 14, u"時差"},
    {no_id, label, 0x50020000, 183, 21, 140, 8, u"更新対象に含めるファイル"},
    {no_id, label, 0x50020000, 183, 165, 160, 10,
     u"除外するファイル\uFF08上で指定したファイルの例外\uFF09"},
    {no_id, label, 0x50020000, 13, 203, 31, 8, u"ファイル名"},
    {no_id, label, 0x50020000, 13, 237, 76, 8, u"ディスク上の保存フォルダ"},
    {IDC_DOG, button, 0x50010000, 217, 264, 12, 14, u"犬"},
    {IDC_PASSIVE, button, 0x50010003, 112, 149, 49, 10, u"PASVモード"},
};

TEST(SetupTemplate, ClassicHeaderWithFont) {
    const Template& t = setup_template();
    EXPECT_EQ(t.style, 0x80C800C0u);
    EXPECT_EQ(t.ex_style, 0u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 359);
    EXPECT_EQ(t.cy, 285);
    EXPECT_EQ(t.caption, u"MABIRU - setup");
    EXPECT_EQ(t.point_size, 9);
    EXPECT_EQ(t.face, u"\uFF2D\uFF33 \uFF30ゴシック");
}

TEST(SetupTemplate, ItemsExactlyAsLaidOut) {
    const Template& t = setup_template();
    ASSERT_EQ(t.items.size(), 31u);
    for (std::size_t i = 0; i < t.items.size(); ++i) {
        const Item& item = t.items[i];
        const Expected& want = expected_items[i];
        SCOPED_TRACE("item " + std::to_string(i + 1));
        EXPECT_EQ(item.id, want.id);
        EXPECT_EQ(item.class_atom, want.class_atom);
        EXPECT_EQ(item.style, want.style);
        EXPECT_EQ(item.ex_style, 0u);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.caption, std::u16string(want.caption));
    }
}

TEST(SetupTemplate, TabOrderPutsThePassiveBoxLast) {
    std::vector<int> stops;
    for (const Item& item : setup_template().items)
        if (item.style & WS_TABSTOP)
            stops.push_back(item.id);
    const std::vector<int> expected = {IDC_UPLOAD,         IDC_UPLOAD_HELP,
                                       IDC_HOST,           IDC_USER_ID,
                                       IDC_PASSWORD,       IDC_GHOST_ROOT,
                                       IDC_TIME_DIFF,      IDC_CREATE_ARCHIVE,
                                       IDC_ARCHIVE_HELP,   IDC_ARCHIVE_FILENAME,
                                       IDC_ARCHIVE_FOLDER, IDC_FILES_HELP,
                                       IDC_ALLOW_FILES,    IDC_DENY_FILES,
                                       IDC_ABOUT,          IDOK,
                                       IDCANCEL,           IDC_DOG,
                                       IDC_PASSIVE};
    EXPECT_EQ(stops, expected);
}

// Every setting with a control finds one of the fitting kind.
TEST(SetupTemplate, ServesEveryControlOfTheCatalogue) {
    for (std::size_t i = 0; i < settings_catalogue_size; ++i) {
        const Setting& setting = settings_catalogue[i];
        if (setting.control == 0)
            continue;
        SCOPED_TRACE(setting.key);
        const Item* item = find_item(setting.control);
        ASSERT_NE(item, nullptr);
        switch (setting.kind) {
        case SettingKind::flag:
            EXPECT_EQ(item->class_atom, button);
            EXPECT_EQ(item->style & BS_TYPEMASK, static_cast<std::uint32_t>(BS_AUTOCHECKBOX));
            break;
        case SettingKind::list:
            EXPECT_EQ(item->class_atom, edit);
            EXPECT_TRUE(item->style & ES_MULTILINE);
            EXPECT_TRUE(item->style & ES_WANTRETURN);
            break;
        case SettingKind::password:
            EXPECT_EQ(item->class_atom, edit);
            EXPECT_TRUE(item->style & ES_PASSWORD);
            break;
        case SettingKind::text:
            EXPECT_EQ(item->class_atom, edit);
            EXPECT_FALSE(item->style & (ES_MULTILINE | ES_PASSWORD));
            break;
        }
    }
}

} // namespace
