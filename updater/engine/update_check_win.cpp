// TEMPORARY: replaced by the update check.
#include "updater/engine/updater_app.h"

namespace corvane {
bool UpdaterApp::ReadConfiguration() { return false; }
bool UpdaterApp::MarkNewItems() { return false; }
}  // namespace corvane
