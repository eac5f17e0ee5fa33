// Results and progress for the host program, and the two message boxes that
// honour the display style.
#include "updater/engine/host_messages.h"
#include "updater/engine/updater_app.h"

namespace corvane {

void UpdaterApp::PostToHost(UINT message, WPARAM wp, LPARAM lp) const {
  if (host_window) ::PostMessageA(host_window, message, wp, lp);
}

void UpdaterApp::SendResult(int result, bool quiet) {
  if (!host_window) return;
  if (!quiet) {
    switch (result) {
      case kResultNewVersion:
        WriteLog("Send the message(3) \"Find new version\" to the host program.");
        break;
      case kResultNoNewVersion:
        WriteLog("Send the message(2) \"The new version not found\" to the host program.");
        break;
      case kResultUpdated:
        WriteLog("Send the message(1) \"Upgrade successful\" to the host program.");
        break;
      default:
        WriteLog("Send the message(-1) \"Upgrade not completed\" to the host program.");
        break;
    }
  }
  PostToHost(kHostResultMessage, static_cast<WPARAM>(static_cast<INT_PTR>(result)), 0);
}

void UpdaterApp::ShowInfoBox(const std::string& text, HWND owner) const {
  if (run.display_style != kStyleNormal && run.display_style != kStyleSilent) return;
  const std::string framed = "\n" + text + "\n";
  ::MessageBoxA(owner, framed.c_str(), "Information", MB_OK | MB_ICONINFORMATION);
}

bool UpdaterApp::AskRetry(const std::string& text, HWND owner) const {
  if (run.display_style != kStyleNormal && run.display_style != kStyleSilent) return false;
  const std::string framed = "\n" + text + "\n";
  return ::MessageBoxA(owner, framed.c_str(), "Information", MB_RETRYCANCEL | MB_ICONWARNING) ==
         IDRETRY;
}

}  // namespace corvane
