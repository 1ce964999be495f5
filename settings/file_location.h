// Where the settings file is, past any link: one routine for the start,
// which looks for what a cut-off save left beside it, and for the save,
// which writes there, so that the two never look in different places.
#pragma once

#include <string>
#include <vector>

#include "settings/platform.h"

struct FileLocation {
    std::string path;       // as given
    sys::Attributes own;    // of `path` itself: a link's own
    sys::Identity identity; // of the file that `path` leads to, past any link
    // A link whose file is gone (a save cut off between the two renames of
    // the system's replace): the file comes back where it leads.
    bool dangling = false;
    std::string real;   // the file itself: past links where they can be followed
    std::string folder; // real's, where the save's own files go
    // Whether the settings file was there: only then may a save tidy away
    // what earlier saves left, which may otherwise hold the only copy.
    bool found = false;

    // The folders in which a cut-off save may have left copies: the file's,
    // and a link's own, where a save could not follow it.
    std::vector<std::string> copy_folders() const;
};

FileLocation locate(const std::string& path);

// The file that `path` names, past any link, as the links themselves say,
// when identities do not say it is another file; `path` itself where a link
// cannot be followed.
std::string resolved_path(const std::string& path, const sys::Identity& identity);
