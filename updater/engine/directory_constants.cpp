#include "updater/engine/directory_constants.h"

#include "shared/text_util.h"

namespace corvane {

const char* const kDirectoryConstantNames[kDirectoryConstants] = {
    "{appdriver}", "{parent}", "{win}", "{sys}", "{temp}", "{pf}", "{font}", "{mydoc}", "{desktop}"};

std::string WithoutTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

std::string ParentOfFolder(const std::string& folder) {
  std::string own = WithoutTrailingBackslash(folder);
  size_t cut = own.rfind('\\');
  if (cut == std::string::npos) return own;
  return own.substr(0, cut);
}

std::string ExpandDirectoryConstantsIn(const std::string& path,
                                       const std::string (&values)[kDirectoryConstants]) {
  std::string result = path;
  for (int i = 0; i < kDirectoryConstants; ++i) {
    const std::string name = kDirectoryConstantNames[i];
    if (!StartsWith(result, name)) continue;
    result = ReplaceAll(result, name, values[i]);
    const size_t after = values[i].size();
    if (after >= result.size() || result[after] != '\\') result.insert(after, "\\");
  }
  return result;
}

std::string InstanceMutexName(const std::string& module_path) {
  // One installation, one name, however the path was spelled: Windows file
  // names ignore case.
  std::string name = ToLowerAscii(ReplaceAll(module_path, "\\", "_"));
  if (EndsWith(name, ".exe.exe")) name.resize(name.size() - 4);
  // Longer names are refused by the platform; the tail (the updater's own
  // folders and name) still tells installations apart.
  if (name.size() > kMaxMutexNameLength) name.erase(0, name.size() - kMaxMutexNameLength);
  return name;
}

}  // namespace corvane
