#include "updater/engine/folder_listing.h"

#include <utility>

#include "updater/engine/transfer_text.h"

namespace corvane {

FolderListing::FolderListing(std::string root, std::vector<DownloadEntry>* entries,
                             std::string filter, bool recurse, ListingLimits limits)
    : root_(std::move(root)),
      entries_(entries),
      filter_(std::move(filter)),
      recurse_(recurse),
      bounds_(limits) {}

bool FolderListing::AddFile(const std::string& folder, const std::string& name,
                            const std::string& temporary_name, uint64_t size) {
  if (!MatchFileFilter(name, filter_)) return true;
  if (!bounds_.AddEntry()) return false;
  DownloadEntry entry;
  entry.subfolder = ListingSubfolder(root_, folder);
  entry.file_name = name;
  entry.temporary_name = temporary_name;
  entry.size = size;
  entries_->push_back(entry);
  return true;
}

}  // namespace corvane
