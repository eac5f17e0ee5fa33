// What one recursive folder listing gathers, whether it walks an FTP server
// or a local folder: the files that pass the item's filter, named as the
// download stage needs them, within the listing's caps and without listing
// a folder twice. The walks themselves are the transfer engine's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/file_name_rule.h"
#include "updater/engine/net/transfer_limits.h"
#include "updater/engine/update_items.h"

namespace corvane {

class FolderListing {
 public:
  FolderListing(std::string root, std::vector<DownloadEntry>* entries, std::string filter,
                bool recurse, ListingLimits limits);

  ListingBounds& bounds() { return bounds_; }
  bool recurse() const { return recurse_; }

  // A file found in `folder`: appended when its name passes the filter.
  // False when the entry cap is reached and the whole listing must stop.
  // A name Windows would store under another name (or not at all) stops
  // it too, with the name kept for the log line (RefusedText).
  bool AddFile(const std::string& folder, const std::string& name,
               const std::string& temporary_name, uint64_t size);
  // A subfolder found in `folder`, before a recursive listing enters it;
  // false (the listing stops) when its name is refused as above.
  bool AcceptFolder(const std::string& folder, const std::string& name);

  bool refused() const { return !refused_.empty(); }
  // The log line of a refused name (empty when none was).
  std::string RefusedText() const;

 private:
  bool Refuse(const std::string& folder, const std::string& name, NameProblem problem);

  std::string root_;
  std::vector<DownloadEntry>* entries_;
  std::string filter_;
  bool recurse_;
  ListingBounds bounds_;
  std::string refused_;
  std::string refused_reason_;
};

}  // namespace corvane
