// The message texts as the program hands them to the ANSI interfaces.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "resources/control_ids.h"
#include "settings/catalogue.h"
#include "setup/setting_controls.h"
#include "setup/texts.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST(Texts, AreCodePage932Bytes) {
    // 設定ファイルが保存できませんでした。
    EXPECT_EQ(std::string(texts::save_failed),
              "\n\n\x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x95\xDB\x91\xB6"
              "\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81\x42");
    // 経過を細かく表示しますか？ holds 表, whose second byte is 0x5C.
    const std::string first_question = texts::detail_questions[0].text;
    EXPECT_NE(first_question.find("\x95\x5C\x8E\xA6"), std::string::npos);
}

TEST(Texts, AboutBoxNamesAuthorAndHomePageOnTheirLines) {
    const std::vector<std::string> lines = lines_of(texts::about_text());
    ASSERT_EQ(lines.size(), 9u); // eight lines, each ended by a line feed
    EXPECT_EQ(lines[0], "mabiru");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], std::string("\x8D\xEC\x8E\xD2\t") + texts::author);            // 作者
    EXPECT_EQ(lines[3], std::string("\x98\x41\x97\x8D\x90\xE6\t") + texts::home_page); // 連絡先
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[8], "");
    EXPECT_NE(std::strlen(texts::home_page), 0u);
}

TEST(Texts, MessageBoxTextsUseLineFeedsOnly) {
    std::set<int> buttons;
    for (const texts::HelpBox& help : texts::help_boxes) {
        buttons.insert(help.button);
        const std::string text = help.text;
        EXPECT_EQ(text.find('\r'), std::string::npos) << help.caption;
        EXPECT_EQ(text.back(), '\n') << help.caption;
    }
    EXPECT_EQ(buttons, (std::set<int>{IDC_UPLOAD_HELP, IDC_ARCHIVE_HELP, IDC_FILES_HELP}));
    EXPECT_EQ(texts::about_text().find('\r'), std::string::npos);
}

TEST(Texts, DetailQuestionsSetTheCataloguesFlagsWithoutControl) {
    for (const texts::Question& question : texts::detail_questions) {
        const Setting* setting = find_setting(question.key);
        ASSERT_NE(setting, nullptr) << question.key;
        EXPECT_EQ(setting->kind, SettingKind::flag) << question.key;
        for (const SettingControl& shown : setting_controls)
            EXPECT_STRNE(shown.key, question.key);
    }
}

} // namespace
