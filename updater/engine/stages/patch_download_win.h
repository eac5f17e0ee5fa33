// The Windows half of delta updates: makes a file item's new file from the
// installed one and a downloaded patch. The download stage lends the
// transfer (its URL loop over the patch's mirrors, with resume, deadlines
// and progress) and verifies the result as it verifies a downloaded file.
#pragma once

#include <functional>
#include <string>

#include "updater/engine/update_items.h"

namespace corvane {

// Downloads one of `urls` to `local`; false with the stage's failure text
// (possibly empty) in `failure`.
using PatchTransfer =
    std::function<bool(UrlList& urls, const std::string& local, std::string* failure)>;

// Finds the patch made from the installed file (the item's destination
// folder and install name), downloads it next to `local`, applies it and
// writes the result to `local`. True when `local` holds the decoded file
// (its digests are still to be checked); otherwise `reason` says why and
// nothing is left at `local` or beside it.
bool MakeFileFromPatch(const FileItem& item, const std::string& local,
                       const PatchTransfer& transfer, std::string* reason);

}  // namespace corvane
