#include "updater/ui/wizard_rows.h"

namespace corvane {

std::string DirectoryRowName(const std::string& path) {
  // A trailing separator would otherwise leave nothing to show.
  size_t end = path.size();
  while (end > 0 && (path[end - 1] == '\\' || path[end - 1] == '/')) --end;
  const std::string trimmed = path.substr(0, end);
  const size_t separator = trimmed.find_last_of("/\\");
  const std::string name =
      separator == std::string::npos ? trimmed : trimmed.substr(separator + 1);
  return "<" + name + ">";
}

std::vector<NewVersionRow> BuildNewVersionRows(const UpdateRun& run) {
  std::vector<NewVersionRow> rows;
  for (const FileItem& item : run.files) {
    if (item.is_new) rows.push_back({item.install_name, item.server_version, item.description});
  }
  for (const DirItem& item : run.dirs) {
    if (item.is_new) {
      rows.push_back({DirectoryRowName(item.destination), item.server_version, item.description});
    }
  }
  return rows;
}

}  // namespace corvane
