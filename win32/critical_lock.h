// A lock for the few fields that a worker and the user interface thread
// share, on the platform's critical section. std::mutex would bring the
// POSIX threads layer's mutex and its error paths into the updater.
// Meets BasicLockable: use it with std::lock_guard.
#pragma once

#include <windows.h>

#include <mutex>  // std::lock_guard

namespace corvane {

class CriticalLock {
 public:
  CriticalLock() { ::InitializeCriticalSection(&section_); }
  ~CriticalLock() { ::DeleteCriticalSection(&section_); }
  CriticalLock(const CriticalLock&) = delete;
  CriticalLock& operator=(const CriticalLock&) = delete;

  void lock() { ::EnterCriticalSection(&section_); }
  void unlock() { ::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

}  // namespace corvane
