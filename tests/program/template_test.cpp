// Template 101 as the resource compiler wrote it: the classic form, class
// atoms, and no style bit beyond the listed ones.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "resources/control_ids.h"
#include "settings/catalogue.h"
#include "setup/setting_controls.h"
#include "setup_template.h"

namespace {

using dialog_template::Item;
using dialog_template::kButton;
using dialog_template::kEdit;
using dialog_template::kSetupItems;
using dialog_template::kSetupTabStops;
using dialog_template::Template;

Template load_setup_template() {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_SETUP), MAKEINTRESOURCEA(5));
    if (!found)
        return {};
    Template result = dialog_template::parse(LockResource(LoadResource(nullptr, found)),
                                             SizeofResource(nullptr, found));
    EXPECT_EQ(result.menu.ordinal, 0) << "menu";
    EXPECT_EQ(result.window_class.ordinal, 0) << "class";
    EXPECT_TRUE(result.window_class.name.empty());
    for (std::size_t i = 0; i < result.items.size(); ++i)
        EXPECT_EQ(result.items[i].creation_data, 0) << "creation data of item " << i + 1;
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
        const auto& want = kSetupItems[i];
        SCOPED_TRACE("item " + std::to_string(i + 1));
        EXPECT_EQ(item.id, want.id);
        EXPECT_EQ(item.window_class.ordinal, want.class_atom);
        EXPECT_EQ(item.style, want.style);
        EXPECT_EQ(item.ex_style, 0u);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.title.name, want.caption);
    }
}

TEST(SetupTemplate, TabOrderPutsThePassiveBoxLast) {
    std::vector<int> stops;
    for (const Item& item : setup_template().items)
        if (item.style & WS_TABSTOP)
            stops.push_back(item.id);
    const std::vector<int> expected(std::begin(kSetupTabStops), std::end(kSetupTabStops));
    EXPECT_EQ(stops, expected);
}

// Every setting with a control finds one of the fitting kind.
TEST(SetupTemplate, ServesEveryControlOfTheCatalogue) {
    for (const SettingControl& shown : setting_controls) {
        SCOPED_TRACE(shown.key);
        const Setting* const found = find_setting(shown.key);
        ASSERT_NE(found, nullptr);
        const Setting& setting = *found;
        const Item* item = find_item(shown.control);
        ASSERT_NE(item, nullptr);
        switch (setting.kind) {
        case SettingKind::flag:
            EXPECT_EQ(item->window_class.ordinal, kButton);
            EXPECT_EQ(item->style & BS_TYPEMASK, static_cast<std::uint32_t>(BS_AUTOCHECKBOX));
            break;
        case SettingKind::list:
            EXPECT_EQ(item->window_class.ordinal, kEdit);
            EXPECT_TRUE(item->style & ES_MULTILINE);
            EXPECT_TRUE(item->style & ES_WANTRETURN);
            break;
        case SettingKind::password:
            EXPECT_EQ(item->window_class.ordinal, kEdit);
            EXPECT_TRUE(item->style & ES_PASSWORD);
            break;
        case SettingKind::text:
            EXPECT_EQ(item->window_class.ordinal, kEdit);
            EXPECT_FALSE(item->style & (ES_MULTILINE | ES_PASSWORD));
            break;
        }
    }
}

} // namespace
