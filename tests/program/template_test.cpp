// Template 101 as the resource compiler wrote it serves the catalogue: each
// setting with a control finds one of the fitting kind. The template's
// layout itself is checked in the exe, by the end-to-end tests.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "dialog_template.h"
#include "resources/control_ids.h"
#include "settings/catalogue.h"
#include "setup/setting_controls.h"
#include "setup_template.h"

namespace {

using dialog_template::Item;
using dialog_template::kButton;
using dialog_template::kEdit;
using dialog_template::Template;

const Template& setup_template() {
    static const Template loaded = [] {
        HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_SETUP), MAKEINTRESOURCEA(5));
        return found ? dialog_template::parse(LockResource(LoadResource(nullptr, found)),
                                              SizeofResource(nullptr, found))
                     : Template{};
    }();
    return loaded;
}

const Item* find_item(int id) {
    for (const Item& item : setup_template().items)
        if (item.id == static_cast<std::uint16_t>(id))
            return &item;
    return nullptr;
}

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
