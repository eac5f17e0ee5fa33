// Self-update: finding a new version of the updater among the items. The
// relay itself (download, copy side, finish side) is not built yet: a copy
// started with "/self_update:" ends without touching anything.
#include "updater/engine/self_update.h"

#include "shared/text_util.h"
#include "updater/engine/updater_app.h"
#include "updater/engine/version_compare.h"

namespace corvane {

bool UpdaterApp::CheckSelfUpgrade() {
  WriteLog("Check self upgrade.");
  self_item = config_item = ui_item = -1;
  for (int i = 0; i < kMaxFileItems; ++i) {
    const FileItem& item = run.files[i];
    if (!CompareVersions(item.server_version, item.local_version)) continue;
    const std::string& name = item.install_name;
    if (EqualsNoCase(name, own_file_name)) self_item = i;
    if (EqualsNoCase(name, "update.dat") || EqualsNoCase(name, "update.bin")) config_item = i;
    if (EqualsNoCase(name, "ui.dat") || EqualsNoCase(name, "ui.bin")) ui_item = i;
  }
  if (self_item < 0) return false;
  WriteLog("Find the lastest update.exe. The self upgrade will be start.");
  return true;
}

void RunSelfUpdateCopy(UpdaterApp& app) { app.log.SetEnabled(false); }

void FinishSelfUpdate(UpdaterApp& app) {}

}  // namespace corvane
