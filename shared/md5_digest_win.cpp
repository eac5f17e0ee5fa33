// Keeps a thread's windows responsive while it digests a large file.
#include <windows.h>

#include "shared/md5_digest.h"
#include "shared/md5_drain_win.h"

namespace corvane {
namespace {

void DrainThreadMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The quit request belongs to the thread's own message loop: put it
      // back so the loop ends once the digest is done.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace

void InstallMd5MessageDrain() { SetMd5DrainHook(&DrainThreadMessages); }

}  // namespace corvane
