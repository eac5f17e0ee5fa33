// TEMPORARY: replaced by the tray implementation.
#include "updater/engine/updater_app.h"

namespace corvane {
bool UpdaterApp::CreateHiddenTray() { return false; }
void UpdaterApp::ShowTray() {}
void UpdaterApp::RemoveTray() {}
void UpdaterApp::SetTrayTooltip(const std::string&) {}
}  // namespace corvane
