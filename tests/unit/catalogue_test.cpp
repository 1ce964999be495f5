#include <gtest/gtest.h>

#include <algorithm>

#include "settings/catalogue.h"
#include "settings/password.h"

TEST(Catalogue, CollectOrder) {
    std::string keys;
    for (std::size_t i = 0; i < settings_catalogue_size; ++i)
        keys += std::string(settings_catalogue[i].key) + ' ';
    EXPECT_EQ(keys, "is_upload host id password ghostroot timediff is_passive is_create_archive "
                    "archive_filename archive_local_folder allow_files deny_files morelog "
                    "yeardiff dog ");
    EXPECT_EQ(find_setting("Host"), nullptr);
}

TEST(Catalogue, DefaultsOnFirstStart) {
    SettingsMap map = {{"host", "old"}, {"custom", "kept"}};
    apply_defaults(map, "C:\\tools\\");
    EXPECT_EQ(map.size(), 16u);
    EXPECT_EQ(map["custom"], "kept");
    EXPECT_EQ(map["host"], "127.0.0.1");
    EXPECT_EQ(map["password"], "8642");
    EXPECT_EQ(map["archive_local_folder"], "C:\\tools\\");

    const std::string& allow = map["allow_files"];
    const std::string& deny = map["deny_files"];
    EXPECT_EQ(allow.size(), 127u);
    EXPECT_EQ(deny.size(), 238u);
    EXPECT_EQ(std::count(allow.begin(), allow.end(), '\n'), 7);
    EXPECT_EQ(std::count(deny.begin(), deny.end(), '\n'), 8);
    EXPECT_EQ(allow.substr(allow.size() - 20), "shell/master/*.png\r\n");
    const std::string twice = "ghost/master/misaka_vars.txt\r\nghost/master/misaka_vars.txt\r\n";
    EXPECT_NE(deny.find(twice), std::string::npos);
}

TEST(Catalogue, FlagRules) {
    const Setting& upload = *find_setting("is_upload");
    const Setting& passive = *find_setting("is_passive");
    const struct {
        const char* value;
        bool upload_on, passive_on;
    } cases[] = {
        {"1", true, true},    {"0", false, false}, {"", true, false},
        {"yes", true, false}, {"01", true, false}, {"1 ", true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(flag_is_on(upload, c.value), c.upload_on) << '"' << c.value << '"';
        EXPECT_EQ(flag_is_on(passive, c.value), c.passive_on) << '"' << c.value << '"';
    }
}

TEST(Catalogue, MemoryForms) {
    SettingsMap map = {
        {"allow_files", "a\x02q\x02"},
        {"password", scramble_password("secret")},
        {"host", "h\x02"},
    };
    to_memory_forms(map);
    EXPECT_EQ(map, (SettingsMap{{"allow_files", "a\r\nq\r\n"},
                                {"deny_files", ""}, // find-or-insert
                                {"password", "secret"},
                                {"host", "h\x02"}}));
}

TEST(Catalogue, FileFormsMarkEveryLineBreak) {
    // 0x95 0x5C (HYO) stays whole next to a line break.
    SettingsMap map = {
        {"allow_files", "a\r\nq\nc\rd\r\r\n\x95\x5C\r\n"},
        {"deny_files", "\n\n"},
        {"password", "8642"},
        {"id", "x\r\n"},
    };
    to_file_forms(map);
    EXPECT_EQ(map["allow_files"], "a\x02q\x02"
                                  "c\rd\r\x02\x95\x5C\x02");
    EXPECT_EQ(map["deny_files"], "\x02\x02");
    EXPECT_EQ(map["password"], "69566bf6");
    EXPECT_EQ(map["id"], "x\r\n"); // not a list: left for the save to refuse

    to_memory_forms(map);
    EXPECT_EQ(map["allow_files"], "a\r\nq\r\nc\rd\r\r\n\x95\x5C\r\n");
    EXPECT_EQ(map["password"], "8642");
}
