// Where an item's files land: the destination folder of an entry, and the
// comparison of two installed paths as Windows would tell them apart.
#pragma once

#include <functional>
#include <string>

namespace corvane {

using ExpandConstants = std::function<std::string(const std::string&)>;

// The folder an entry of an item is installed into: the item's `path`
// (empty: the updater's folder; directory constants expanded; without a
// ":" it is relative to the updater's folder), then the entry's subfolder,
// with "/" turned into "\" and a trailing "\".
std::string InstallFolder(const std::string& item_path, const std::string& subfolder,
                          const std::string& updater_folder, const ExpandConstants& expand);

// True when both full paths name the same file: without regard to case,
// "/" read as "\", "." parts and doubled separators dropped, ".." parts
// taken back.
bool SameInstalledPath(const std::string& a, const std::string& b);

}  // namespace corvane
