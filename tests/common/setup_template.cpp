#include "setup_template.h"

#include "control_ids.h"

#include <windows.h>

namespace dialog_template {
namespace {

constexpr std::uint32_t kCheckBox = 0x50010003, kPush = 0x50010000, kDefPush = 0x50010001;
constexpr std::uint32_t kLineEdit = 0x50810080, kPasswordEdit = 0x508100A0, kListEdit = 0x50A11084;
constexpr std::uint32_t kGroupBox = 0x50000007, kSideLabel = 0x50020200, kTopLabel = 0x50020000;

} // namespace

const ExpectedItem kSetupItems[31] = {
    {IDC_UPLOAD, kButton, kCheckBox, 13, 23, 68, 10, u"アップロードを行う"},
    {IDC_UPLOAD_HELP, kButton, kPush, 154, 17, 10, 12, u"？"},
    {IDC_HOST, kEdit, kLineEdit, 57, 45, 101, 14, u""},
    {IDC_USER_ID, kEdit, kLineEdit, 57, 66, 53, 14, u""},
    {IDC_PASSWORD, kEdit, kPasswordEdit, 57, 87, 53, 14, u""},
    {IDC_GHOST_ROOT, kEdit, kLineEdit, 57, 120, 102, 14, u""},
    {IDC_TIME_DIFF, kEdit, kLineEdit, 57, 145, 25, 14, u""},
    {IDC_CREATE_ARCHIVE, kButton, kCheckBox, 13, 189, 42, 10, u"作成する"},
    {IDC_ARCHIVE_HELP, kButton, kPush, 154, 186, 10, 12, u"？"},
    {IDC_ARCHIVE_FILENAME, kEdit, kLineEdit, 13, 213, 149, 14, u""},
    {IDC_ARCHIVE_FOLDER, kEdit, kLineEdit, 13, 249, 149, 14, u""},
    {IDC_FILES_HELP, kButton, kPush, 332, 17, 10, 12, u"？"},
    {IDC_ALLOW_FILES, kEdit, kListEdit, 183, 31, 160, 125, u""},
    {IDC_DENY_FILES, kEdit, kListEdit, 183, 177, 160, 72, u""},
    {IDC_ABOUT, kButton, kPush, 175, 264, 39, 14, u"about"},
    {IDOK, kButton, kDefPush, 248, 264, 50, 14, u"OK"},
    {IDCANCEL, kButton, kPush, 302, 264, 50, 14, u"キャンセル"},
    {kNoId, kButton, kGroupBox, 7, 7, 162, 160, u"FTPアップロード"},
    {kNoId, kButton, kGroupBox, 7, 175, 162, 103, u"nar/zipアーカイブ"},
    {kNoId, kButton, kGroupBox, 175, 7, 177, 250, u"対象ファイル"},
    {kNoId, kStatic, kSideLabel, 30, 45, 25, 14, u"ホスト名"},
    {kNoId, kStatic, kSideLabel, 47, 66, 8, 14, u"ID"},
    {kNoId, kStatic, kSideLabel, 23, 87, 32, 14, u"パスワード"},
    {kNoId, kStatic, kSideLabel, 13, 109, 106, 9, u"ゴーストのルートディレクトリ"},
    {kNoId, kStatic, kSideLabel, 40, 145, 15, 14, u"時差"},
    {kNoId, kStatic, kTopLabel, 183, 21, 140, 8, u"更新対象に含めるファイル"},
    {kNoId, kStatic, kTopLabel, 183, 165, 160, 10,
     u"除外するファイル（上で指定したファイルの例外）"},
    {kNoId, kStatic, kTopLabel, 13, 203, 31, 8, u"ファイル名"},
    {kNoId, kStatic, kTopLabel, 13, 237, 76, 8, u"ディスク上の保存フォルダ"},
    {IDC_DOG, kButton, kPush, 217, 264, 12, 14, u"犬"},
    {IDC_PASSIVE, kButton, kCheckBox, 112, 149, 49, 10, u"PASVモード"},
};

std::vector<int> setup_tab_stops() {
    std::vector<int> stops;
    for (const ExpectedItem& item : kSetupItems)
        if (item.style & WS_TABSTOP)
            stops.push_back(item.id);
    return stops;
}

} // namespace dialog_template
