// What a screen reader hears: every edit box named after its label and each
// small button after what it does, through the system's annotation service,
// every name cleared while its control is still there. Wine's own service
// refuses, so the test prefix gets a stand-in that records each call
// (acc_prop_recorder.cpp); without one the dialog is as it always was.
#include "control_ids.h"
#include "settings_bytes.h"

#include <algorithm>
#include <iostream>
#include <set>
#include <sstream>

using namespace e2e;

namespace {

const char kServiceKey[] = "CLSID\\{B5F8350B-0548-48B1-A6EE-88BD00B4A5E7}\\InprocServer32";

struct Named {
    const char* name;
    int control;
    std::wstring text;
    bool by_label; // a label of the dialog shows it; else the box or questions it opens
};

const Named kNamed[] = {
    {"Host", IDC_HOST, L"ホスト名", true},
    {"UserId", IDC_USER_ID, L"ID", true},
    {"Password", IDC_PASSWORD, L"パスワード", true},
    {"GhostRoot", IDC_GHOST_ROOT, L"ゴーストのルートディレクトリ", true},
    {"TimeDiff", IDC_TIME_DIFF, L"時差", true},
    {"ArchiveFilename", IDC_ARCHIVE_FILENAME, L"ファイル名", true},
    {"ArchiveFolder", IDC_ARCHIVE_FOLDER, L"ディスク上の保存フォルダ", true},
    {"AllowFiles", IDC_ALLOW_FILES, L"更新対象に含めるファイル", true},
    {"DenyFiles", IDC_DENY_FILES, L"除外するファイル（上で指定したファイルの例外）", true},
    {"UploadHelp", IDC_UPLOAD_HELP, L"FTPアップロードについて", false},
    {"ArchiveHelp", IDC_ARCHIVE_HELP, L"nar/zipアーカイブについて", false},
    {"FilesHelp", IDC_FILES_HELP, L"対象ファイルについて", false},
    {"Dog", IDC_DOG, L"詳しい設定", false},
};

// The UTF-16 units as the stand-in writes them.
std::string hex(const std::wstring& text) {
    std::string out;
    char unit[8];
    for (const wchar_t c : text) {
        snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(c));
        out += unit;
    }
    return out;
}

// The dialog's static texts as it shows them, read as code page 932.
std::vector<std::string> labels_of(HWND dialog) {
    std::vector<std::string> labels;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (class_name(child) != "Static")
            continue;
        const Bytes text = window_text(child);
        std::wstring wide(text.size(), L'\0');
        wide.resize(MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()),
                                        wide.data(), static_cast<int>(wide.size())));
        labels.push_back(hex(wide));
    }
    return labels;
}

std::string value(const char* name) {
    char text[MAX_PATH * 2] = {};
    DWORD size = sizeof text;
    RegGetValueA(HKEY_CLASSES_ROOT, kServiceKey, name, RRF_RT_REG_SZ, nullptr, text, &size);
    return text;
}

bool set_value(const char* name, const std::string& text) {
    return RegSetKeyValueA(HKEY_CLASSES_ROOT, kServiceKey, name, REG_SZ, text.c_str(),
                           static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

// `server` is the service while this lives; then the prefix's own again.
class ServiceRegistration {
  public:
    explicit ServiceRegistration(const std::string& server)
        : own_{value(nullptr), value("ThreadingModel")} {
        EXPECT_EQ(own_[0].find("acc-prop-recorder"), std::string::npos)
            << "left by a run that never ended; recreate the Wine prefix";
        // "Both": made in the caller's own apartment, which the stand-in reports.
        EXPECT_TRUE(set_value(nullptr, server) && set_value("ThreadingModel", "Both")) << server;
    }
    ~ServiceRegistration() {
        set_value(nullptr, own_[0]);
        set_value("ThreadingModel", own_[1]);
    }
    ServiceRegistration(const ServiceRegistration&) = delete;
    ServiceRegistration& operator=(const ServiceRegistration&) = delete;

  private:
    const std::string own_[2];
};

class ScreenReaderNames : public EditorTestWithParam<Way> {
  protected:
    ::testing::AssertionResult start_recorded() {
        editor.emplace(exe, "", "", Environment{{"MABIRU_E2E_ANNOTATIONS", record()}});
        return editor->opened();
    }
    std::string record() const { return folder.file("annotations.txt"); }
    // The stand-in's lines of one kind ("set"), sorted.
    std::multiset<std::string> calls(const std::string& kind) const {
        std::multiset<std::string> found;
        std::istringstream lines(read_file(record()).value_or(""));
        for (std::string line; std::getline(lines, line);)
            if (line.compare(0, kind.size() + 1, kind + " ") == 0)
                found.insert(line);
        return found;
    }
};

} // namespace

TEST_P(ScreenReaderNames, FieldsAreNamedByTheirLabelsAndButtonsByWhatTheyOpenUntilTheControlsGo) {
    const ServiceRegistration stand_in(annotation_service_dll());
    ASSERT_TRUE(start_recorded());
    const std::size_t count = sizeof kNamed / sizeof kNamed[0];
    EXPECT_TRUE(poll_until([&] { return calls("set").size() >= count; }, kBoxTimeoutMs));
    EXPECT_EQ(calls("created"), std::multiset<std::string>{"created sta"});

    // Each named once, and its name alone cleared once while it still had its ID.
    std::multiset<std::string> sets, clears;
    const std::vector<std::string> labels = labels_of(editor->dialog());
    for (const Named& row : kNamed) {
        const std::string control =
            std::to_string(reinterpret_cast<UINT_PTR>(editor->item(row.control))) + " " +
            std::to_string(row.control) + " -4 0 name";
        sets.insert("set " + control + " " + hex(row.text));
        clears.insert("clear " + control);
        if (row.by_label) {
            EXPECT_EQ(std::count(labels.begin(), labels.end(), hex(row.text)), 1) << row.name;
        }
    }
    EXPECT_EQ(calls("set"), sets);
    // In the log too, to read what a run on another machine recorded.
    for (const std::string& set : calls("set"))
        std::cout << set << "\n";
    editor->close_by(GetParam());
    ASSERT_TRUE(editor->exits_with(0));
    EXPECT_EQ(calls("clear"), clears);
}

INSTANTIATE_TEST_SUITE_P(Ways, ScreenReaderNames, ::testing::Values(Way::Ok, Way::Cancel),
                         way_name);

// Wine's own service refuses every name; a server that is not there is
// never created. Either way the dialog is exactly as before.
TEST_F(ScreenReaderNames, WithoutAWorkingServiceTheDialogIsAsBefore) {
    for (const bool missing : {false, true}) {
        SCOPED_TRACE(missing ? "no server" : "Wine's own service");
        std::optional<ServiceRegistration> no_server;
        if (missing)
            no_server.emplace(folder.file("missing.dll"));
        ASSERT_TRUE(start_recorded());
        EXPECT_FALSE(editor->wait_box(1000)) << "a box opened";
        EXPECT_TRUE(ok_saves(first_start_file(folder.path())));
        DeleteFileA(folder.file("mabiru.dat").c_str());
    }
    EXPECT_FALSE(folder.exists("annotations.txt")) << "the stand-in was in use";
}
