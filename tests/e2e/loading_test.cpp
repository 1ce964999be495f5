// Settings files as they are found in the wild: written by this editor, by
// hand, by other tools, cut short or grown with keys this editor never knew.
#include "control_ids.h"
#include "settings_bytes.h"

using namespace e2e;

namespace {

// The file's bytes, what the dialog shows of them, what OK then writes.
struct Row {
    const char* name;
    Bytes file;
    Values shown;
    Values saved;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

// The sample file with every line ended by LF alone, the last by nothing.
Bytes sample_with_lf_only() {
    Bytes file;
    for (const auto& [key, value] : sample_values())
        file += key + kSep + value + "\n";
    file.pop_back();
    return file;
}

// The sample file with keys this editor never knew, written in no order,
// and two with empty values; OK keeps the known and the unknown in byte
// order, and a value the dialog does not show as it was.
Row unknown_keys() {
    const Values unknown = {
        {"B", "upper case sorts first"},
        {"Host", "not the host"},
        {"host ", "a trailing blank makes another key"},
        {"a", "1"},
        {"ab", "2"},
        {"表示", "double-byte key, sorted last"},
        {"zz\x02", "with marks\x02inside\x02"},
    };
    const Values values = with(sample_values(), {{"morelog", "yes"}});
    Bytes file;
    for (const auto& [key, value] : unknown)
        file = lines({{key, value}}) + file;
    file += file_of(values) + lines({{"empty_one", ""}, {"dropped", ""}});
    return {"UnknownKeysKeptInByteOrderAndOnesWithEmptyValuesDropped",
            file,
            {{"host", "ftp.example.org"}},
            with(values, unknown)};
}

// Upload and archive are on unless "0"; passive mode is on only for "1".
Row flags(const char* name, const Bytes& value, const Bytes& on_unless_zero,
          const Bytes& on_only_for_one) {
    const Values shown = {{"is_upload", on_unless_zero},
                          {"is_create_archive", on_unless_zero},
                          {"is_passive", on_only_for_one}};
    return {
        name,
        file_of(with(sample_values(),
                     {{"is_upload", value}, {"is_create_archive", value}, {"is_passive", value}})),
        shown, with(sample_values(), shown)};
}

using LoadingSettings = EditorTestWithParam<Row>;

} // namespace

TEST_P(LoadingSettings, TheDialogShowsWhatTheFileHoldsAndOkWritesItBack) {
    const Row& row = GetParam();
    ASSERT_TRUE(open_bytes(row.file));
    EXPECT_TRUE(shows(*editor, row.shown));
    // Each group of fields is on exactly when its check box is.
    for (int id : {IDC_HOST, IDC_PASSIVE})
        EXPECT_EQ(editor->enabled(id), editor->checked(IDC_UPLOAD)) << "item " << id;
    for (int id : {IDC_ARCHIVE_FILENAME, IDC_ARCHIVE_FOLDER})
        EXPECT_EQ(editor->enabled(id), editor->checked(IDC_CREATE_ARCHIVE)) << "item " << id;
    EXPECT_TRUE(ok_saves(row.saved));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LoadingSettings,
    ::testing::Values(
        Row{"AsThisEditorSavedIt", file_of(sample_values()), screen_of(sample_values(), "s3cret"),
            sample_values()},
        Row{"LfOnlyLineEndsAndALastLineWithoutLineEndLikeCrLf", sample_with_lf_only(),
            screen_of(sample_values(), "s3cret"), sample_values()},
        Row{"ByteOneAEndsTheFileInTheMiddleOfALine",
            lines({{"host", "h1.example"},
                   {"id", "ab\x1A"
                          "cd"},
                   {"timediff", "5"},
                   {"zzz", "after the end"}}),
            {{"host", "h1.example"}, {"id", "ab"}, {"timediff", ""}},
            with(empty_controls(), {{"host", "h1.example"}, {"id", "ab"}})},
        Row{"TheLastWellFormedLineOfARepeatedKeyWins",
            lines({{"host", "first.example"},
                   {"timediff", "9"},
                   {"host", "second.example"},
                   {"timediff", ""}, // empty: not read, 9 stays
                   {"zzz", "one"},
                   {"zzz", "two"}}),
            {{"host", "second.example"}, {"timediff", "9"}},
            with(empty_controls(),
                 {{"host", "second.example"}, {"timediff", "9"}, {"zzz", "two"}})},
        Row{"CarriageReturnsNotFollowedByLineFeedStayInTheValue",
            lines({{"host", "cr.example"}, {"zz1", "a\rb"}}) + "zz2" + kSep + "last\r",
            {{"host", "cr.example"}},
            with(empty_controls(), {{"host", "cr.example"}, {"zz1", "a\rb"}, {"zz2", "last\r"}})},
        Row{"MalformedLinesSkippedAndSeparatorsAfterTheKeyKeptInTheValue",
            Bytes("\x01\x01host\x01h.example\r\n") // leading separators skipped
                + "no separator here\r\n"          // no value: skipped
                + "\r\n"                           // empty line: skipped
                + "\x01orphan value\r\n"           // no key: skipped
                + "id\x01\r\n"                     // empty value: skipped
                + "zz1\x01"
                  "a\x01"
                  "b\r\n" // the second 0x01 is part of the value
                + "zz2\x01\x01v\r\n" + "ghostroot\x01 root with blanks \r\n",
            {{"host", "h.example"}, {"id", ""}, {"ghostroot", " root with blanks "}},
            with(empty_controls(), {{"host", "h.example"},
                                    {"ghostroot", " root with blanks "},
                                    {"zz1", "a\x01"
                                            "b"},
                                    {"zz2", "\x01v"}})},
        unknown_keys(),
        Row{"AFileLackingKeysShowsEmptyFieldsAndNoDefaults", lines({{"zzz", "only this"}}),
            empty_controls(), with(empty_controls(), {{"zzz", "only this"}})},
        Row{"AnEmptyFileIsReadAsAFileWithoutKeys", "", empty_controls(), empty_controls()},
        flags("FlagsStoredAsYes", "yes", "1", "0"), flags("FlagsStoredAs00", "00", "1", "0"),
        flags("FlagsStoredAs0AndABlank", "0 ", "1", "0"),
        flags("FlagsStoredAs1AndABlank", "1 ", "1", "0"), flags("FlagsStoredAs0", "0", "0", "0"),
        flags("FlagsStoredAs1", "1", "1", "1")),
    RowName());

TEST_F(LoadingSettings, AHiddenSystemSettingsFileIsReadAndKeepsBothMarksAfterSaving) {
    folder.write("mabiru.dat", file_of(sample_values()));
    const std::string path = folder.file("mabiru.dat");
    const DWORD marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), marks));
    // Wine keeps the system mark only where the file system has room for it.
    const DWORD kept = GetFileAttributesA(path.c_str()) & marks;
    ASSERT_TRUE(kept & FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(start());
    EXPECT_EQ(editor->text(IDC_HOST), "ftp.example.org");
    editor->type(IDC_HOST, "hidden.example");
    EXPECT_TRUE(ok_saves(with(sample_values(), {{"host", "hidden.example"}})));
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & marks, kept) << "kept before the save: " << kept;
}
