// Folder operations of the designer's project handling.
#pragma once

#include <string>

#include "shared/folder_tree.h"  // DeleteFolderTree: never past a junction or link

namespace corvane {

bool FolderExists(const std::string& path);
// Creates the folder with every missing level.
bool CreateFolderPath(const std::string& path);

}  // namespace corvane
