#include "setup/setting_controls.h"

#include <gtest/gtest.h>

#include <set>

#include "resources/control_ids.h"
#include "settings/catalogue.h"

TEST(SettingControls, TwelveControlsShowTheCatalogueInItsOrderAndTheDogKeysHaveNone) {
    std::set<int> controls;
    for (std::size_t i = 0; i < std::size(setting_controls); ++i) {
        EXPECT_STREQ(setting_controls[i].key, settings_catalogue[i].key);
        controls.insert(setting_controls[i].control);
    }
    EXPECT_EQ(controls.size(), std::size(setting_controls));
    EXPECT_EQ(settings_catalogue_size - std::size(setting_controls), 3u);
    EXPECT_EQ(setting_controls[3].control, IDC_PASSWORD);
    EXPECT_EQ(setting_controls[11].control, IDC_DENY_FILES);
}
