// Deleting a folder with everything in it, without ever reaching past it.
// A junction or symbolic link met on the way (or given as the folder itself)
// is removed as a link: what it points at is never opened, listed or
// deleted, since that may be any folder of the machine (the publisher's
// sources, a share, the system folder).
#pragma once

#include <string>

namespace corvane {

// Deletes the folder's files and subfolders depth first, then the folder;
// read-only files are deleted too. True when nothing of it is left. A path
// that does not exist counts as deleted.
bool DeleteFolderTree(const std::string& path);

}  // namespace corvane
