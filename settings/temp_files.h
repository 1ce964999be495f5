// Names of the temporary files a save writes beside the settings file, and
// the tidying of those that a killed or crashed editor left behind.
#pragma once

#include <string>

// "<path>.~<process id in hex>.<counter>.tmp": unique per process and save,
// so two editors saving at once never share one.
std::string temp_name(const std::string& path, unsigned long process_id, unsigned long counter);

// Deletes the temporary files of `path` whose process no longer runs. Those
// of a running editor, which may be in the middle of its own save, stay.
void remove_stale_temps(const std::string& path);
