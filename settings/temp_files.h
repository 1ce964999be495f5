// The save's own files beside the settings file: the temporary file that
// becomes the new settings, and the name the old settings may pass through
// while the system replaces them. Both carry a name of temp_name()'s
// making, so that what a killed save left is known for the editor's own.
#pragma once

#include <cstdint>
#include <string>

#include "settings/platform.h"

// "~mb", five letters or digits drawn from the process and the counter, and
// two that check those five: 10 bytes, no longer than "mabiru.dat", so
// that a settings path that fits the system's limit gives a temporary path
// that fits too. A name that a person or another program chose fails the
// check: any one character changed does.
std::string temp_name(unsigned long process_id, unsigned counter);
bool is_temp_name(const std::string& name);

// Creates a new file of temp_name()'s making in `folder` (with its trailing
// separator), never one that is there already, and answers its path; empty
// when none could be created.
std::string create_temp(const std::string& folder, std::uint32_t kept, sys::File& file);

// A save takes seconds; a temporary file left unwritten for this long
// belongs to no save that is still running, on this machine or another.
constexpr long long stale_temp_age_s = 10 * 60;

// Deletes the temporary files in `folder` (with its trailing separator)
// that an editor killed in the middle of a save left: names of temp_name()'s
// making, unwritten for stale_temp_age_s. Windows also refuses to delete
// one that a save still holds open without sharing. Nothing else is touched.
void remove_stale_temps(const std::string& folder);
