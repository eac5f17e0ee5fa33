// TEMPORARY: replaced by the UI configuration reader.
#include "updater/engine/updater_app.h"

namespace corvane {
bool UpdaterApp::ParseUiConfiguration() { return false; }
}  // namespace corvane
