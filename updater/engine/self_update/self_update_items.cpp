#include "updater/engine/self_update/self_update_items.h"

#include "updater/engine/config/version_compare.h"

namespace corvane {

SelfUpdateItems FindSelfUpdateItems(const UpdateRun& run, const std::string& module_path,
                                    const std::string& updater_folder,
                                    const ExpandConstants& expand) {
  SelfUpdateItems found;
  auto beside_updater = [&](const std::string& installed, const char* name) {
    return SameInstalledPath(installed, updater_folder + name);
  };
  for (int i = 0; i < kMaxFileItems; ++i) {
    const FileItem& item = run.files[i];
    if (!CompareVersions(item.server_version, item.local_version)) continue;
    if (item.install_name.empty() || item.install_name_refused) continue;
    const std::string installed =
        InstallFolder(item.destination, "", updater_folder, expand) + item.install_name;
    if (SameInstalledPath(installed, module_path)) found.self_item = i;
    if (beside_updater(installed, "update.dat") || beside_updater(installed, "update.bin")) {
      found.config_item = i;
    }
    if (beside_updater(installed, "ui.dat") || beside_updater(installed, "ui.bin")) {
      found.ui_item = i;
    }
  }
  return found;
}

}  // namespace corvane
