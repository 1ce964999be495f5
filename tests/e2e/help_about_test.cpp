// The three "？" help boxes and the about box: what they say, which buttons
// they offer, and that Yes in the about box hands the home page to the
// browser.
#include "control_ids.h"
#include "settings_bytes.h"

#include <tlhelp32.h>

using namespace e2e;

namespace {

struct Help {
    const char* name;
    int button;
    Bytes caption;
    Bytes text;
};

const Help kHelp[] = {
    {"Upload", IDC_UPLOAD_HELP, "FTPアップロードについて",
     "ホスト名、ID、パスワードは、普段使っているFTPクライアントと同じ設定にしてください。\n"
     "\n"
     "「ゴーストのルートディレクトリ」には、FTPサーバに接続した時のディレクトリから、ゴーストの更新"
     "データを置くディレクトリへの相対パスを指定してください。\n"
     "\n"
     "サーバによっては時差を指定するといいかも。たぶん。\n"
     "ファイアウォール内にいる場合などは「PASVモード」にチェックをいれるといいかも。たぶん。\n"},
    {"Archive", IDC_ARCHIVE_HELP, "nar/zipアーカイブについて",
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
     "拡張子はnarまたはzipを指定してください（この２つの形式は、名前が違うだけで中身は同じです）。"
     "\n"},
    {"Files", IDC_FILES_HELP, "対象ファイルについて",
     "ゴーストのルートフォルダからの相対パスを、改行で区切って指定してください。\n"
     "ワイルドカード（*.txt、*.*など）も使えます。\n"
     "\n"
     "上段で指定したファイルだけがアップロードされます。\n"
     "上段で指定したうちに含まれていても、下段で指定された場合は除外されます。\n"
     "\n"
     "なお、updates2.dauはここでは指定しないでください。\n"
     "mabiru.exeが自動的に処理します。\n"},
};

const Bytes kAboutText = "mabiru\n"
                         "\n"
                         "作者\t" MABIRU_E2E_AUTHOR "\n"
                         "連絡先\t" MABIRU_E2E_HOME_PAGE "\n"
                         "\n"
                         "\n"
                         "ご意見等あればお寄せください。\n"
                         "今、上記ページを開きますか？\n";

// Names the box in test output instead of dumping its bytes.
void PrintTo(const Help& help, std::ostream* os) {
    *os << help.name;
}

using HelpAndAbout = EditorTestWithParam<Help>;

// Whether a process with this file name is running.
bool process_runs(const char* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return true;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry))
        found = lstrcmpiA(entry.szExeFile, name) == 0;
    CloseHandle(snapshot);
    return found;
}

// Points the http and https handlers at a stand-in browser for the test's
// duration and puts the old ones back afterwards.
class BrowserStandIn {
  public:
    explicit BrowserStandIn(const std::string& exe) {
        const std::string command = "\"" + exe + "\" \"%1\"";
        for (const char* scheme : {"http", "https"}) {
            Saved s;
            s.key = std::string("Software\\Classes\\") + scheme + "\\shell\\open\\command";
            char buf[2048];
            DWORD size = sizeof buf;
            s.had = RegGetValueA(HKEY_LOCAL_MACHINE, s.key.c_str(), nullptr,
                                 RRF_RT_ANY | RRF_NOEXPAND, &s.type, buf, &size) == ERROR_SUCCESS;
            if (s.had)
                s.value.assign(buf, size);
            if (RegSetKeyValueA(HKEY_LOCAL_MACHINE, s.key.c_str(), nullptr, REG_SZ, command.c_str(),
                                static_cast<DWORD>(command.size() + 1)) != ERROR_SUCCESS)
                ADD_FAILURE() << "cannot set HKLM\\" << s.key;
            saved_.push_back(s);
        }
    }
    ~BrowserStandIn() {
        for (const Saved& s : saved_)
            if (s.had)
                RegSetKeyValueA(HKEY_LOCAL_MACHINE, s.key.c_str(), nullptr, s.type, s.value.data(),
                                static_cast<DWORD>(s.value.size()));
            else
                RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, s.key.c_str(), nullptr);
    }
    BrowserStandIn(const BrowserStandIn&) = delete;
    BrowserStandIn& operator=(const BrowserStandIn&) = delete;

  private:
    struct Saved {
        std::string key;
        bool had = false;
        DWORD type = REG_SZ;
        std::string value;
    };
    std::vector<Saved> saved_;
};

// The address on the about box's "連絡先" line.
Bytes address_in(const Bytes& about) {
    const Bytes label = "連絡先\t";
    size_t at = about.find(label);
    if (at == Bytes::npos)
        return "";
    at += label.size();
    return about.substr(at, about.find('\n', at) - at);
}

} // namespace

TEST_P(HelpAndAbout, HelpButtonExplainsInAPlainBoxAndChangesNothing) {
    const Help& help = GetParam();
    ASSERT_TRUE(open(sample_values()));
    const Values shown = on_screen(*editor);

    editor->click(help.button);
    std::optional<Box> box = editor->wait_box();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, help.caption);
    EXPECT_EQ(box->text, help.text);
    EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
    EXPECT_EQ(box->default_button, IDOK);
    EXPECT_FALSE(box->shows_icon);
    EXPECT_EQ(GetWindow(box->window, GW_OWNER), editor->dialog());
    EXPECT_FALSE(IsWindowEnabled(editor->dialog())) << "the dialog takes input under its help box";
    ASSERT_TRUE(editor->answer(*box, IDOK));

    EXPECT_TRUE(editor->still_open());
    EXPECT_TRUE(IsWindowEnabled(editor->dialog()));
    EXPECT_EQ(on_screen(*editor), shown);
    EXPECT_TRUE(ok_saves(sample_values()));
}

INSTANTIATE_TEST_SUITE_P(Boxes, HelpAndAbout, ::testing::ValuesIn(kHelp), RowName());

TEST_F(HelpAndAbout, AboutBoxNamesAuthorAndHomePageAndOnlyYesOpensThatPage) {
    BrowserStandIn browser(folder.add_copy(recorder_exe(), "browser.exe"));
    for (const int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer == IDYES ? "Yes opens the page" : "No opens nothing");
        ASSERT_TRUE(start());
        editor->click(IDC_ABOUT);
        std::optional<Box> box = editor->wait_box();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->caption, "about");
        EXPECT_EQ(box->text, kAboutText);
        EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO}));
        EXPECT_EQ(box->default_button, IDNO);
        EXPECT_FALSE(box->shows_icon);
        EXPECT_EQ(GetWindow(box->window, GW_OWNER), editor->dialog());
        const Bytes shown_address = address_in(box->text);
        EXPECT_EQ(shown_address, MABIRU_E2E_HOME_PAGE);
        ASSERT_TRUE(editor->answer(*box, answer));

        if (answer == IDYES) {
            // url.txt appears whole, by a rename; it counts once it can be read.
            std::optional<Bytes> url;
            ASSERT_TRUE(
                poll_until([&] { return (url = folder.read("url.txt")).has_value(); }, 15000))
                << "the browser was not started";
            EXPECT_EQ(*url, shown_address);
        }
        EXPECT_TRUE(editor->still_open());
        editor->click(IDCANCEL);
        ASSERT_TRUE(editor->exits_with(0));
        EXPECT_FALSE(folder.exists("mabiru.dat"));
        if (answer == IDNO) {
            // A browser opened by mistake was started before the editor
            // ended; once none runs, anything it would have recorded is there.
            EXPECT_TRUE(poll_until([] { return !process_runs("browser.exe"); }, kExitTimeoutMs))
                << "a browser is still running";
            EXPECT_FALSE(folder.exists("url.txt"))
                << "No opened " << folder.read("url.txt").value_or("");
        }
    }
}
