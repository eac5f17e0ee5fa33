#include "updater/engine/transfer/transfer_state.h"

#include <algorithm>

namespace corvane {

int OpenFileList::Add(const std::string& path, ScopedFile file) {
  std::lock_guard<CriticalLock> lock(mutex_);
  const int id = next_id_++;
  entries_.push_back(Entry{id, path, file.Release()});
  return id;
}

bool OpenFileList::Write(int id, const void* data, DWORD size) {
  std::lock_guard<CriticalLock> lock(mutex_);
  for (const Entry& entry : entries_) {
    if (entry.id != id) continue;
    DWORD written = 0;
    return ::WriteFile(entry.file, data, size, &written, nullptr) && written == size;
  }
  return false;  // closed by the abort path
}

bool OpenFileList::Truncate(int id, uint64_t size) {
  std::lock_guard<CriticalLock> lock(mutex_);
  for (const Entry& entry : entries_) {
    if (entry.id != id) continue;
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(entry.file, position, nullptr, FILE_BEGIN) &&
           ::SetEndOfFile(entry.file);
  }
  return false;  // closed by the abort path
}

void OpenFileList::Remove(int id) {
  std::lock_guard<CriticalLock> lock(mutex_);
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [id](const Entry& entry) { return entry.id == id; });
  if (it == entries_.end()) return;
  ::CloseHandle(it->file);
  entries_.erase(it);
}

size_t OpenFileList::CloseAll() {
  std::lock_guard<CriticalLock> lock(mutex_);
  const size_t count = entries_.size();
  for (const Entry& entry : entries_) ::CloseHandle(entry.file);
  entries_.clear();
  return count;
}

size_t OpenFileList::Count() const {
  std::lock_guard<CriticalLock> lock(mutex_);
  return entries_.size();
}

std::vector<std::string> OpenFileList::Paths() const {
  std::lock_guard<CriticalLock> lock(mutex_);
  std::vector<std::string> paths;
  for (const Entry& entry : entries_) paths.push_back(entry.path);
  return paths;
}

TransferState::TransferState(TransferView* view_in) : view(view_in) {
  pause_event.Reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  LARGE_INTEGER frequency{};
  if (::QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) {
    seconds_per_tick = 1.0 / static_cast<double>(frequency.QuadPart);
  }
}

bool TransferState::WaitWhilePaused() {
  // The event releases the worker when the user declines to cancel; the
  // time slice lets a worker that was cancelled meanwhile leave instead of
  // waiting for a signal that will never come.
  bool waited = false;
  while (pause.load() && !cancel.load()) {
    waited = true;
    if (pause_event) {
      ::WaitForSingleObject(pause_event.Get(), 100);
    } else {
      ::Sleep(100);
    }
  }
  return waited;
}

int64_t TransferState::ElapsedTicks() const { return NowTicks() - start_tick; }

int64_t TransferState::NowTicks() const {
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  return now.QuadPart;
}

void TransferState::TakeStartTick() {
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  start_tick = now.QuadPart;
  shown = Shown();
}

}  // namespace corvane
