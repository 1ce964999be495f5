// The new settings written over the old file's own bytes, for the few
// files that cannot be replaced. A reader may see the file part written,
// and a crash or power cut in the middle leaves it part old, part new; every
// other failure leaves the old bytes or the new ones.
#pragma once

#include <string>

#include "settings/platform.h"

enum class Overwrite {
    written,  // the file holds `content`, on the disk
    old_kept, // it still reads as the old file
    damaged,  // a write failed and so did putting the old bytes back
};

// Writes `content` over `file`, opened with sys::open_for_overwrite().
Overwrite write_over(sys::File& file, std::string content);
