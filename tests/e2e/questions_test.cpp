// The "犬" button: three yes/no questions that set morelog, yeardiff and
// dog. The current value picks the default button; OK keeps the answers.
#include "settings_bytes.h"

using namespace e2e;

namespace {

// The questions asked in turn: the answers given, the defaults offered.
using Rounds = std::vector<std::pair<Answers, Answers>>;

struct Row {
    const char* name;
    std::optional<Values> file; // none: a first start
    Rounds rounds;
    Bytes saved; // morelog, yeardiff and dog as OK stores them
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

// The sample file with the three keys as given; "-" leaves a key out.
Values stored(const Bytes& morelog, const Bytes& yeardiff, const Bytes& dog) {
    Values file = sample_values();
    for (const auto& [key, value] :
         Values{{"morelog", morelog}, {"yeardiff", yeardiff}, {"dog", dog}})
        if (value == "-")
            file.erase(key);
        else
            file[key] = value;
    return file;
}

using DetailedSettings = EditorTestWithParam<Row>;

} // namespace

TEST_P(DetailedSettings, TheStoredValuesPickTheDefaultsAndOkStoresTheLastAnswers) {
    const Row& row = GetParam();
    ASSERT_TRUE(row.file ? open(*row.file) : start());
    for (const auto& [answers, offered] : row.rounds)
        EXPECT_EQ(ask(*editor, answers), offered);
    EXPECT_TRUE(ok_saves(with(row.file ? *row.file : first_start_file(folder.path()),
                              {{"morelog", row.saved.substr(0, 1)},
                               {"yeardiff", row.saved.substr(1, 1)},
                               {"dog", row.saved.substr(2, 1)}})));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DetailedSettings,
    ::testing::Values(Row{"FirstStartOffersNoNoYes",
                          std::nullopt,
                          {{{IDYES, IDYES, IDNO}, {IDNO, IDNO, IDYES}}},
                          "110"},
                      Row{"AFileWithoutTheKeysOffersYesForAll",
                          stored("-", "-", "-"),
                          {{{IDYES, IDNO, IDYES}, {IDYES, IDYES, IDYES}}},
                          "101"},
                      // Only an exact "0" makes No the default; the answers replace any
                      // old value.
                      Row{"ExactZeroOffersNoAndDoubleZeroYes",
                          stored("0", "00", "1"),
                          {{{IDNO, IDYES, IDNO}, {IDNO, IDYES, IDYES}}},
                          "010"},
                      Row{"TrailingBlankOrYesOffersYes",
                          stored("0 ", "yes", "0"),
                          {{{IDNO, IDYES, IDNO}, {IDYES, IDYES, IDNO}}},
                          "010"},
                      Row{"LeadingBlankOrLetterOOffersYes",
                          stored(" 0", "0", "o"),
                          {{{IDNO, IDYES, IDNO}, {IDYES, IDNO, IDYES}}},
                          "010"},
                      // Asked again, the questions offer the first answers; the last count.
                      Row{"AskingAgainOffersTheFirstAnswers",
                          std::nullopt,
                          {{{IDYES, IDYES, IDNO}, {IDNO, IDNO, IDYES}},
                           {{IDYES, IDNO, IDNO}, {IDYES, IDYES, IDNO}}},
                          "100"}),
    RowName());
