// TEMPORARY: replaced by the wizard.
#include "updater/engine/updater_app.h"

namespace corvane {
bool UpdaterApp::ShowWizard() { return false; }
}  // namespace corvane
