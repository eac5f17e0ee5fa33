#include "updater/engine/transfer/folder_listing.h"

#include <utility>

#include "shared/file_name_rule.h"
#include "updater/engine/transfer/transfer_text.h"

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
  DownloadEntry entry;
  entry.subfolder = ListingSubfolder(root_, folder);
  // The parts of its subfolder were listed names as well.
  NameProblem problem = CheckNameComponent(name);
  if (problem == NameProblem::kNone && !entry.subfolder.empty()) {
    problem = CheckRelativeName(entry.subfolder);
  }
  if (problem != NameProblem::kNone) return Refuse(folder, name, problem);
  if (!bounds_.AddEntry()) return false;
  entry.file_name = name;
  entry.temporary_name = temporary_name;
  entry.size = size;
  entries_->push_back(entry);
  return true;
}

bool FolderListing::AcceptFolder(const std::string& folder, const std::string& name) {
  const NameProblem problem = CheckNameComponent(name);
  return problem == NameProblem::kNone || Refuse(folder, name, problem);
}

bool FolderListing::Refuse(const std::string& folder, const std::string& name,
                           NameProblem problem) {
  const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
  refused_ = folder.empty() ? name : folder + separator + name;
  refused_reason_ = NameProblemText(problem);
  return false;
}

std::string FolderListing::RefusedText() const {
  if (refused_.empty()) return std::string();
  return "The listed name cannot be used on Windows (" + refused_reason_ + "): " + refused_;
}

}  // namespace corvane
