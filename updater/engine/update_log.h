// The update log "update.log": one line per event, each the local time as
// "%H:%M:%S    " followed by the message and "\r\n". The file is appended to,
// never truncated. Writes go out as one call per line so that the main thread
// and a worker can share the file without a lock.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace corvane {

class UpdateLog {
 public:
  UpdateLog() = default;
  ~UpdateLog();
  UpdateLog(const UpdateLog&) = delete;
  UpdateLog& operator=(const UpdateLog&) = delete;

  // The run's log switch: lines are written only while it is on and the file
  // is open.
  void SetEnabled(bool on) { enabled_ = on; }
  bool Enabled() const { return enabled_; }

  // Opens (creating if missing) and positions at the end. Failure leaves the
  // log closed; logging is then silently skipped for the run.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // Appends one line (time stamp + message + CRLF). A message with several
  // lines is written as it is, the time only in front of the first line.
  void Write(const std::string& message);

  // A line of something that happened before the log could be opened (the
  // recovery at start-up): kept with its time and written by WriteDeferred.
  void Defer(const std::string& message);
  // Writes the kept lines (when the log is on and open) and forgets them.
  void WriteDeferred();

 private:
  std::FILE* file_ = nullptr;
  std::vector<std::string> deferred_;
  bool enabled_ = false;
};

// The time stamp prefix for a log line, e.g. "09:05:03    ".
std::string LogTimePrefix();

}  // namespace corvane
