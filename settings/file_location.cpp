#include "settings/file_location.h"

#include "settings/mbtext.h"

std::string resolved_path(const std::string& path, const sys::Identity& identity) {
    // A link's own text says where it leads, hop by hop, so that no
    // identity has to tell files apart; where identities can, they must
    // agree that it is the very same file.
    std::string at = path;
    for (int hop = 0; hop < 8 && sys::attributes_of(at).link; ++hop) {
        const std::string next = sys::link_target(at);
        if (next.empty())
            return path;
        at = next;
    }
    if (at != path)
        return sys::attributes_of(at).link ||
                       (identity.tells_apart() && !(sys::identity_of(at) == identity))
                   ? path
                   : at;
    // A link the system does not show as one (Wine's own) is followed by
    // the path the system resolves, which may name another file (a letter
    // the code page cannot spell): only where identities tell the file
    // from its very folder and say it is the same.
    const std::string resolved = identity.tells_apart() ? sys::final_path_of(path) : "";
    if (resolved.empty() || resolved == path || !(sys::identity_of(resolved) == identity))
        return path;
    const sys::Identity folder = sys::identity_of(folder_part(path));
    return folder.known && !(folder == identity) ? resolved : path;
}

FileLocation locate(const std::string& path) {
    FileLocation at;
    at.path = path;
    at.own = sys::attributes_of(path);
    at.identity = sys::identity_of(path);
    const std::string dangling =
        at.own.link && !at.identity.known ? sys::link_target(path) : std::string();
    at.dangling = !dangling.empty();
    at.real = at.identity.known ? resolved_path(path, at.identity) : at.dangling ? dangling : path;
    at.folder = folder_part(at.real);
    at.found = at.identity.known || (at.own.exists && !at.own.link);
    return at;
}

std::vector<std::string> FileLocation::copy_folders() const {
    const std::string link_folder = folder_part(path);
    if (!own.link || link_folder == folder)
        return {folder};
    return {folder, link_folder};
}
