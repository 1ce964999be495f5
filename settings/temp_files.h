// The save's own files beside the settings file. Each carries a name of
// temp_name()'s making, so that what a cut-off save left is known for the
// editor's own, what it holds is told by the name alone, and its age is
// told by the name too: a rename keeps a file's last-write time, so that
// time says nothing of when a save left the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/platform.h"

// What a name of the editor's own says of the file.
enum class TempKind {
    none,    // not the editor's: never touched
    earlier, // left by an earlier version: what it holds is not known
    writing, // being written, or reserved: never taken for a whole copy
    whole,   // took this name only once its whole content was on the disk
    beside,  // a whole copy of what the settings file beside it is being
             // written over with
};

// "~m", a letter for the kind ('w', 'k', 'i'), five letters or digits that
// tell the second at which the name was taken, and two that check the six:
// 10 bytes, no longer than "mabiru.dat", so that a settings path that fits
// the system's limit gives a temporary path that fits too. Any one
// character changed fails the check.
std::string temp_name(TempKind kind, long long time_s);
TempKind temp_kind(const std::string& name);
// The seconds since the name was taken, negative for a time ahead of
// `now_s`; names more than about a year old wrap round and read as young.
long long temp_age_s(const std::string& name, long long now_s);
// The same name with another kind.
std::string with_kind(const std::string& path, TempKind kind);

// Creates a new file of temp_name()'s making, of the kind `writing`, in
// `folder` (with its trailing separator), never one that is there already,
// and answers its path; empty when none could be created.
std::string create_temp(const std::string& folder, std::uint32_t kept, sys::File& file);

// A save takes seconds; a file that a save named this long ago belongs to
// no save that is still running, on this machine or another.
constexpr long long stale_temp_age_s = 10 * 60;

// Deletes what earlier saves left in `folder` (with its trailing
// separator) once they have been named for stale_temp_age_s: files of the
// kinds writing, whole and beside. Windows also refuses to delete one that a
// save still holds open without sharing. Files of an earlier version, and
// everything else, are not touched.
void remove_stale_temps(const std::string& folder);

// The whole copies in `folder` and `other` (each with its trailing
// separator) of the kinds given, newest content first.
std::vector<std::string> whole_copies(const std::string& folder, const std::string& other,
                                      bool whole, bool beside);
