// Which new file items travel with a self-update: the item installed over
// the updater's own file, and the items installed over the local and the UI
// configuration files beside it. Decided by where the item would be
// installed, not by its name alone: an "update.exe" or "update.dat" of the
// application in another folder is an ordinary item.
#pragma once

#include <string>

#include "updater/engine/config/install_paths.h"
#include "updater/engine/update_items.h"

namespace corvane {

struct SelfUpdateItems {
  int self_item = -1;    // installed as the updater's own file
  int config_item = -1;  // as "update.dat" or "update.bin" in the updater's folder
  int ui_item = -1;      // as "ui.dat" or "ui.bin" there
};

// Over the file items whose server version is newer than the local one; a
// later item overrides an earlier one. `module_path` is the updater's full
// path, `updater_folder` its folder with a trailing "\".
SelfUpdateItems FindSelfUpdateItems(const UpdateRun& run, const std::string& module_path,
                                    const std::string& updater_folder,
                                    const ExpandConstants& expand);

}  // namespace corvane
