// The environment variables that builds with the test hooks
// (MABIRU_TEST_SEAMS) read, for the end-to-end tests to set for the editor
// they start. No other build reads them.
#pragma once

// Milliseconds to sleep between the finished temporary file and putting it
// in place.
#define MABIRU_SAVE_DELAY_ENV "MABIRU_TEST_SAVE_DELAY_MS"
// When set, no temporary file can be created, as in a folder that takes no
// new files.
#define MABIRU_NO_TEMP_ENV "MABIRU_TEST_NO_TEMPORARY"
// When set, the system's own replace is used where it would not be (under
// Wine), to test that path.
#define MABIRU_SYSTEM_REPLACE_ENV "MABIRU_TEST_SYSTEM_REPLACE"
