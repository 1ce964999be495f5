// Text routines that walk byte strings of the ANSI code page character by
// character, so that the second byte of a double-byte character (0x5C in
// many Shift_JIS characters) is never taken for a character of its own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr std::size_t no_match = static_cast<std::size_t>(-1);

// True when `byte` starts a double-byte character in the current code page.
bool is_lead_byte(unsigned char byte);

// The code page the lead-byte table was filled from. On Windows it is the
// ANSI code page, read before main; elsewhere 932, the target's.
unsigned lead_byte_code_page();

// Refills the lead-byte table for another code page (tests; 932, 936, 949,
// 950 have fixed ranges, any other code page has no lead bytes off Windows).
void select_lead_byte_code_page(unsigned code_page);

// Takes the character at `cursor` (1 or 2 bytes) and moves past it; empty and
// unmoved at the terminating zero byte.
std::string next_char(const char*& cursor);

// Splits `text` at any character of `separators`. Empty fields are never
// produced; with `limit` > 1 the last field holds the unsplit rest. Appends to
// `fields` and answers its size (1 with limit 1).
int split_fields(const char* text, const char* separators, std::vector<std::string>& fields,
                 int limit);

// Where split_fields(text, separators, fields, 2) would cut a line into a
// key and a value, as offsets, so that a long value can be kept without
// copying it. `text` holds `length` bytes and no zero byte. Answers 2 when
// split_fields would give two fields, and then sets all three offsets;
// otherwise less than 2.
struct EntrySplit {
    std::size_t key_begin = 0, key_end = 0, value_begin = 0;
};
int split_entry(const char* text, std::size_t length, const char* separators, EntrySplit& at);

// Offset of the first match of `pattern` that starts at a character start, or
// no_match. An empty pattern matches at 0 in a non-empty text.
std::size_t find_string(const char* text, const char* pattern);

// Replaces every occurrence of `search` (leftmost first, never overlapping)
// and answers the count.
std::size_t replace_all(std::string& target, const std::string& search,
                        const std::string& replacement);

// Offset of the last character start equal to `byte`, or no_match.
std::size_t reverse_find(const char* text, char byte);

// The folder of `path`: up to and including its last '\' or '/' that starts
// a character (never the second byte of 表 or ソ); empty when it has none.
std::string folder_part(const std::string& path);
