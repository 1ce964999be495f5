// Settings files as they are found in the wild: written by this editor, by
// hand, by other tools, cut short or grown with keys this editor never knew.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

// The sample file as the dialog shows it.
Values sample_on_screen() {
    Values v = sample_values();
    v.erase("dog");
    v.erase("morelog");
    v.erase("yeardiff");
    v["allow_files"] = crlf_lines({"readme.txt", "ghost/master/*.dic"});
    v["deny_files"] = crlf_lines({"ghost/master/save.txt"});
    v["password"] = "s3cret";
    return v;
}

// Starts the editor on `file`, hands the dialog to `look`, presses OK and
// answers what OK wrote.
Bytes load_and_save(const Folder& folder, const Bytes& file,
                    const std::function<void(Editor&)>& look) {
    folder.write("mabiru.dat", file);
    Editor editor(folder.add_editor());
    EXPECT_TRUE(editor.opened());
    if (::testing::Test::HasFatalFailure() || !editor.dialog())
        return "(dialog not opened)";
    look(editor);
    editor.click(IDOK);
    EXPECT_TRUE(editor.exits_with(0));
    return folder.read("mabiru.dat").value_or("(missing)");
}

} // namespace

TEST(LoadingSettings, SavedFileShowsEveryValueAndOkWritesItBackUnchanged) {
    Folder folder;
    const Bytes original = file_of(sample_values());
    Bytes saved = load_and_save(folder, original, [](Editor& editor) {
        EXPECT_EQ(on_screen(editor), sample_on_screen());
        EXPECT_TRUE(editor.enabled(IDC_HOST));
        EXPECT_TRUE(editor.enabled(IDC_ARCHIVE_FOLDER));
    });
    EXPECT_EQ(escaped(saved), escaped(original));
}

TEST(LoadingSettings, LfOnlyLineEndsAndALastLineWithoutLineEndLoadLikeCrLf) {
    Folder folder;
    Bytes file;
    for (const auto& [key, value] : sample_values())
        file += key + kSep + value + "\n";
    file.pop_back(); // the last line, "yeardiff", ends without a line break
    Bytes saved = load_and_save(
        folder, file, [](Editor& editor) { EXPECT_EQ(on_screen(editor), sample_on_screen()); });
    EXPECT_EQ(escaped(saved), escaped(file_of(sample_values())));
}

TEST(LoadingSettings, ByteOneAEndsTheFileInTheMiddleOfALine) {
    Folder folder;
    const Bytes file = lines({{"host", "h1.example"},
                              {"id", "ab\x1A"
                                     "cd"},
                              {"timediff", "5"},
                              {"zzz", "after the end"}});
    Bytes saved = load_and_save(folder, file, [](Editor& editor) {
        EXPECT_EQ(editor.text(IDC_HOST), "h1.example");
        EXPECT_EQ(editor.text(IDC_USER_ID), "ab");
        EXPECT_EQ(editor.text(IDC_TIME_DIFF), "");
    });
    Values expected = empty_controls();
    expected["host"] = "h1.example";
    expected["id"] = "ab";
    EXPECT_EQ(escaped(saved), escaped(file_of(expected)));
}

TEST(LoadingSettings, TheLastWellFormedLineOfARepeatedKeyWins) {
    Folder folder;
    const Bytes file = lines({{"host", "first.example"},
                              {"timediff", "9"},
                              {"host", "second.example"},
                              {"timediff", ""}, // empty: not read, 9 stays
                              {"zzz", "one"},
                              {"zzz", "two"}});
    Bytes saved = load_and_save(folder, file, [](Editor& editor) {
        EXPECT_EQ(editor.text(IDC_HOST), "second.example");
        EXPECT_EQ(editor.text(IDC_TIME_DIFF), "9");
    });
    Values expected = empty_controls();
    expected["host"] = "second.example";
    expected["timediff"] = "9";
    expected["zzz"] = "two";
    EXPECT_EQ(escaped(saved), escaped(file_of(expected)));
}

TEST(LoadingSettings, CarriageReturnsNotFollowedByLineFeedStayInTheValue) {
    Folder folder;
    const Bytes file = lines({{"host", "cr.example"}, {"zz1", "a\rb"}}) + "zz2" + kSep + "last\r";
    Bytes saved = load_and_save(
        folder, file, [](Editor& editor) { EXPECT_EQ(editor.text(IDC_HOST), "cr.example"); });
    Values expected = empty_controls();
    expected["host"] = "cr.example";
    expected["zz1"] = "a\rb";
    expected["zz2"] = "last\r";
    EXPECT_EQ(escaped(saved), escaped(file_of(expected)));
}

TEST(LoadingSettings, MalformedLinesAreSkippedAndSeparatorsAfterTheKeyBelongToTheValue) {
    Folder folder;
    const Bytes file = Bytes("\x01\x01host\x01h.example\r\n") // leading separators skipped
                       + "no separator here\r\n"              // no value: skipped
                       + "\r\n"                               // empty line: skipped
                       + "\x01orphan value\r\n"               // no key: skipped
                       + "id\x01\r\n"                         // empty value: skipped
                       + "zz1\x01"
                         "a\x01"
                         "b\r\n" // the second 0x01 is part of the value
                       + "zz2\x01\x01v\r\n" + "ghostroot\x01 root with blanks \r\n";
    Bytes saved = load_and_save(folder, file, [](Editor& editor) {
        EXPECT_EQ(editor.text(IDC_HOST), "h.example");
        EXPECT_EQ(editor.text(IDC_USER_ID), "");
        EXPECT_EQ(editor.text(IDC_GHOST_ROOT), " root with blanks ");
    });
    Values expected = empty_controls();
    expected["host"] = "h.example";
    expected["ghostroot"] = " root with blanks ";
    expected["zz1"] = "a\x01"
                      "b";
    expected["zz2"] = "\x01v";
    EXPECT_EQ(escaped(saved), escaped(file_of(expected)));
}

TEST(LoadingSettings, UnknownKeysAreKeptInByteOrderAndOnesWithEmptyValuesDropped) {
    Folder folder;
    Values values = sample_values();
    values["morelog"] = "yes"; // never shown by the dialog: kept as it is
    const Values unknown = {
        {"B", "upper case sorts first"},
        {"Host", "not the host"},
        {"host ", "a trailing blank makes another key"},
        {"a", "1"},
        {"ab", "2"},
        {"表示", "double-byte key, sorted last"},
        {"zz\x02", "with marks\x02inside\x02"},
    };
    Bytes file;
    for (const auto& [key, value] : unknown) // deliberately not in key order
        file = lines({{key, value}}) + file;
    file += file_of(values);
    file += lines({{"empty_one", ""}, {"dropped", ""}});

    Bytes saved = load_and_save(
        folder, file, [](Editor& editor) { EXPECT_EQ(editor.text(IDC_HOST), "ftp.example.org"); });
    for (const auto& [key, value] : unknown)
        values[key] = value;
    const Bytes expected = file_of(values);
    EXPECT_EQ(escaped(saved), escaped(expected));
    // Spelled out: ASCII upper case first, then lower case, then the kanji.
    const Bytes last = "表示\x01"
                       "double-byte key, sorted last\r\n";
    EXPECT_EQ(expected.substr(0, 2), "B\x01");
    EXPECT_EQ(expected.substr(expected.size() - last.size()), last);
}

TEST(LoadingSettings, AFileLackingKeysShowsEmptyFieldsAndNoDefaults) {
    Folder folder;
    Bytes saved = load_and_save(folder, lines({{"zzz", "only this"}}), [](Editor& editor) {
        EXPECT_EQ(on_screen(editor), empty_controls());
        for (int id : {IDC_HOST, IDC_PASSIVE, IDC_ARCHIVE_FILENAME, IDC_ARCHIVE_FOLDER})
            EXPECT_TRUE(editor.enabled(id)) << "item " << id;
    });
    Values expected = empty_controls();
    expected["zzz"] = "only this";
    EXPECT_EQ(escaped(saved), escaped(file_of(expected)));
}

TEST(LoadingSettings, AnEmptyFileIsReadAsAFileWithoutKeys) {
    Folder folder;
    Bytes saved = load_and_save(
        folder, "", [](Editor& editor) { EXPECT_EQ(on_screen(editor), empty_controls()); });
    EXPECT_EQ(escaped(saved), escaped(file_of(empty_controls())));
}

TEST(LoadingSettings, FlagsOtherThanZeroAndOneFollowTheirOwnRules) {
    // Upload and archive are on unless "0"; passive mode is on only for "1".
    struct Case {
        Bytes value;
        bool on_unless_zero, on_only_for_one;
    };
    const std::vector<Case> cases = {
        {"yes", true, false}, {"00", true, false}, {"0 ", true, false},
        {"1 ", true, false},  {"0", false, false}, {"1", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("flags stored as \"" + escaped(c.value) + "\"");
        Folder folder(std::to_string(&c - cases.data()));
        Values file = sample_values();
        file["is_upload"] = file["is_create_archive"] = file["is_passive"] = c.value;
        Bytes saved = load_and_save(folder, file_of(file), [&](Editor& editor) {
            EXPECT_EQ(editor.checked(IDC_UPLOAD), c.on_unless_zero);
            EXPECT_EQ(editor.checked(IDC_CREATE_ARCHIVE), c.on_unless_zero);
            EXPECT_EQ(editor.checked(IDC_PASSIVE), c.on_only_for_one);
        });
        file["is_upload"] = file["is_create_archive"] = c.on_unless_zero ? "1" : "0";
        file["is_passive"] = c.on_only_for_one ? "1" : "0";
        EXPECT_EQ(escaped(saved), escaped(file_of(file)));
    }
}

TEST(LoadingSettings, AHiddenSettingsFileIsReadAndStaysHiddenAfterSaving) {
    Folder folder;
    folder.write("mabiru.dat", file_of(sample_values()));
    ASSERT_TRUE(SetFileAttributesA(folder.file("mabiru.dat").c_str(), FILE_ATTRIBUTE_HIDDEN));
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(editor.text(IDC_HOST), "ftp.example.org");
    editor.type(IDC_HOST, "hidden.example");
    editor.click(IDOK);
    ASSERT_TRUE(editor.exits_with(0));

    Values expected = sample_values();
    expected["host"] = "hidden.example";
    EXPECT_EQ(escaped(folder.read("mabiru.dat").value_or("")), escaped(file_of(expected)));
    EXPECT_TRUE(GetFileAttributesA(folder.file("mabiru.dat").c_str()) & FILE_ATTRIBUTE_HIDDEN);
}
