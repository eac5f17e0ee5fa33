// UpdaterApp::ShowWizard: the wizard as a modal dialog on the main thread.
#include "updater/engine/updater_app.h"
#include "updater/ui/wizard_frame_win.h"

namespace corvane {

bool UpdaterApp::ShowWizard() {
  WizardFrame frame;
  return frame.Run() == WizardFrame::kCancelled;
}

}  // namespace corvane
