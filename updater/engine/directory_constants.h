// Directory constants ("{parent}", "{sys}", ...) and how paths in the
// configuration use them. The values are computed by the platform layer; the
// rules for deriving and expanding them are here.
#pragma once

#include <cstddef>
#include <string>

namespace corvane {

constexpr int kDirectoryConstants = 9;
// "{appdriver}", "{parent}", "{win}", "{sys}", "{temp}", "{pf}", "{font}",
// "{mydoc}", "{desktop}", in this order.
extern const char* const kDirectoryConstantNames[kDirectoryConstants];
enum DirectoryConstantIndex {
  kDirAppDriver, kDirParent, kDirWin, kDirSys, kDirTemp, kDirPf, kDirFont, kDirMyDoc, kDirDesktop
};

// One trailing "\" removed.
std::string WithoutTrailingBackslash(const std::string& path);

// The folder that contains the updater's folder (`folder` ends with "\").
// Without a further "\", the updater's folder itself, without trailing "\".
std::string ParentOfFolder(const std::string& folder);

// For each constant in order: when the path begins with it, every occurrence
// is replaced by its value and a "\" is put after the leading value unless
// one follows already. Constants elsewhere than at the start stay as written.
std::string ExpandDirectoryConstantsIn(const std::string& path,
                                       const std::string (&values)[kDirectoryConstants]);

// The single-instance mutex name for a module path (the full long path, see
// updater_app_win.cpp): "\" become "_", letters are folded to lower case,
// the self-update copy ("...exe.exe") maps to the installed updater's name,
// and a name longer than kMaxMutexNameLength keeps its tail.
constexpr size_t kMaxMutexNameLength = 259;
std::string InstanceMutexName(const std::string& module_path);

}  // namespace corvane
