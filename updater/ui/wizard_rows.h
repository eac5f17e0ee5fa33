// What the first wizard page lists: one row per item with a new version.
// Portable, so the row texts are tested without a window.
#pragma once

#include <string>
#include <vector>

#include "updater/engine/update_items.h"

namespace corvane {

struct NewVersionRow {
  std::string name;         // "File/Folder"
  std::string version;      // "New version"
  std::string description;  // "Description"
};

// The last component of a directory item's path between "<" and ">":
// "C:\app\data", "{parent}/data" and "data\" all give "<data>".
std::string DirectoryRowName(const std::string& path);

// File items with a new version first (install name, server version,
// description), then directory items with a new version.
std::vector<NewVersionRow> BuildNewVersionRows(const UpdateRun& run);

}  // namespace corvane
