#include "texts.h"

#include "resources/control_ids.h"

#ifndef MABIRU_AUTHOR
#error "MABIRU_AUTHOR must name the author shown in the about box"
#endif
#ifndef MABIRU_HOME_PAGE
#error "MABIRU_HOME_PAGE must give the address shown and opened by the about box"
#endif

namespace texts {

// clang-format off
const HelpBox help_boxes[3] = {
    {IDC_UPLOAD_HELP, "FTPアップロードについて",
     "ホスト名、ID、パスワードは、普段使っているFTPクライアントと同じ設定にしてください。\n"
     "\n"
     "「ゴーストのルートディレクトリ」には、FTPサーバに接続した時のディレクトリから、ゴーストの更新データを置くディレクトリへの相対パスを指定してください。\n"
     "\n"
     "サーバによっては時差を指定するといいかも。たぶん。\n"
     "ファイアウォール内にいる場合などは「PASVモード」にチェックをいれるといいかも。たぶん。\n"},
    {IDC_ARCHIVE_HELP, "nar/zipアーカイブについて",
     "ファイル名の設定には、以下のようなタグが使えます（現在の日時に置き換えられます）。\n"
     "\n"
     "%year\t年\n"
     "%year4\t年（４桁）\n"
     "%month\t月\n"
     "%day\t日\n"
     "%hour\t時\n"
     "%minute\t分\n"
     "%second\t秒\n"
     "\n"
     "拡張子はnarまたはzipを指定してください（この２つの形式は、名前が違うだけで中身は同じです）。\n"},
    {IDC_FILES_HELP, "対象ファイルについて",
     "ゴーストのルートフォルダからの相対パスを、改行で区切って指定してください。\n"
     "ワイルドカード（*.txt、*.*など）も使えます。\n"
     "\n"
     "上段で指定したファイルだけがアップロードされます。\n"
     "上段で指定したうちに含まれていても、下段で指定された場合は除外されます。\n"
     "\n"
     "なお、updates2.dauはここでは指定しないでください。\n"
     "mabiru.exeが自動的に処理します。\n"},
};

const Question detail_questions[3] = {
    {"morelog", "経過を細かく表示しますか？"},
    {"yeardiff", "リモート日時が１年遅れてたりしますか？"},
    {"dog", "犬は好きですか？"},
};
const char detail_caption[] = "詳しい設定";

const char author[] = MABIRU_AUTHOR;
const char home_page[] = MABIRU_HOME_PAGE;
const char about_caption[] = "about";

std::string about_text() {
    std::string text = "mabiru\n"
                       "\n"
                       "作者\t";
    text += author;
    text += "\n連絡先\t";
    text += home_page;
    text += "\n"
            "\n"
            "\n"
            "ご意見等あればお寄せください。\n"
            "今、上記ページを開きますか？\n";
    return text;
}

const char load_failed[] = "\n\n設定ファイルが読み込めませんでした。";
const char save_failed[] = "\n\n設定ファイルが保存できませんでした。";
const char error_caption[] = "error";
// clang-format on

} // namespace texts
