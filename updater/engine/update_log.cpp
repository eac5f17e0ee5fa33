#include "updater/engine/update_log.h"

#include <ctime>

namespace corvane {

UpdateLog::~UpdateLog() { Close(); }

bool UpdateLog::Open(const std::string& path) {
  Close();
  // "ab": created when missing, never truncated, every write at the end.
  file_ = std::fopen(path.c_str(), "ab");
  return file_ != nullptr;
}

void UpdateLog::Close() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

std::string LogTimePrefix() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char buf[32];
  std::strftime(buf, sizeof(buf), "%H:%M:%S    ", &local);
  return buf;
}

void UpdateLog::Write(const std::string& message) {
  if (!enabled_ || !file_) return;
  std::string line = LogTimePrefix() + message + "\r\n";
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

void UpdateLog::Defer(const std::string& message) {
  deferred_.push_back(LogTimePrefix() + message + "\r\n");
}

void UpdateLog::WriteDeferred() {
  if (enabled_ && file_) {
    for (const std::string& line : deferred_) {
      std::fwrite(line.data(), 1, line.size(), file_);
      std::fflush(file_);
    }
  }
  deferred_.clear();
}

}  // namespace corvane
