// Folder operations of the designer's project handling.
#pragma once

#include <string>

namespace corvane {

bool FolderExists(const std::string& path);
// Creates the folder with every missing level.
bool CreateFolderPath(const std::string& path);
// Deletes everything inside the folder, depth first, then the folder.
bool DeleteFolderTree(const std::string& path);

}  // namespace corvane
