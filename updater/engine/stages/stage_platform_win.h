// The Windows side of the stages' doors (stage_platform.h): real files and
// archives, real processes, and the running updater as the stages' host.
// Also the worker thread both stages run on.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "updater/engine/stages/stage_platform.h"
#include "win32/scoped_handles.h"

namespace corvane {

std::unique_ptr<StageFileSystem> MakeWindowsFileSystem();
std::unique_ptr<ProcessControl> MakeWindowsProcessControl();
// The application object (log, host window, tray, directory constants).
std::unique_ptr<StageHost> MakeAppStageHost();

// Runs `body` on a thread of its own. The destructor waits for it while
// carrying out the messages it sends to the waiting thread's windows.
class StageWorker {
 public:
  StageWorker() = default;
  ~StageWorker() { Join(); }
  StageWorker(const StageWorker&) = delete;
  StageWorker& operator=(const StageWorker&) = delete;

  bool Start(std::function<void()> body);
  void Join();
  bool Running() const { return static_cast<bool>(thread_); }

 private:
  static DWORD WINAPI Entry(LPVOID self);
  std::function<void()> body_;
  ScopedHandle thread_;
};

}  // namespace corvane
