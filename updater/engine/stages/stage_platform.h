// The narrow doors through which the update stage acts on the machine: the
// files it backs up, copies, unpacks and deletes (StageFileSystem), the
// programs it must close (ProcessControl), and the updater around it
// (StageHost: log, host window, tray, hook programs). The Windows side
// implements them; the unit tests implement fakes that fail on demand.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

// A zip archive opened for unpacking.
class StageArchive {
 public:
  virtual ~StageArchive() = default;
  virtual int Count() const = 0;
  // The stored name ("/" or "\" between folders).
  virtual std::string Name(int index) const = 0;
  virtual bool IsFolder(int index) const = 0;
  // Writes the entry under `folder` + its stored name. The entry appears
  // only complete and checked; a failure leaves no file behind.
  virtual bool Extract(int index, const std::string& folder) = 0;
};

// File attributes, with the values Windows gives them.
constexpr uint32_t kAttributeReadOnly = 0x1;
constexpr uint32_t kAttributeHidden = 0x2;
constexpr uint32_t kAttributeSystem = 0x4;
constexpr uint32_t kAttributeArchive = 0x20;
// What Attributes reports and SetAttributes gives back: the above, and "not
// content indexed", "offline" and "temporary".
constexpr uint32_t kKeptAttributes = kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                                     kAttributeArchive | 0x100 | 0x1000 | 0x2000;

// Files behave as on Windows: a read-only file cannot be opened for writing,
// written over or deleted until its read-only attribute is cleared, and a
// copy takes the attributes of its source.
class StageFileSystem {
 public:
  virtual ~StageFileSystem() = default;
  // Size of a file in bytes; -1 when there is no file (or a folder) there.
  virtual int64_t FileSize(const std::string& path) = 0;
  // The attributes of a file (0 for none); -1 when there is no file there.
  virtual int64_t Attributes(const std::string& path) = 0;
  virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
  virtual bool IsFolder(const std::string& path) = 0;
  // Creates `path` and its missing parents; each folder made is appended to
  // `made`, outermost first.
  virtual bool CreateFolders(const std::string& path, std::vector<std::string>* made) = 0;
  // False when the file cannot be opened for reading and writing (another
  // program holds it, or it is read-only).
  virtual bool CanOpenReadWrite(const std::string& path) = 0;
  // Copies `from` over `to`. A failure may leave `to` partly written.
  virtual bool CopyFile(const std::string& from, const std::string& to) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  // Removes an empty folder; false when it is not empty or not there.
  virtual bool RemoveEmptyFolder(const std::string& path) = 0;
  // Removes a folder with everything in it.
  virtual bool RemoveTree(const std::string& folder) = 0;
  // Null when the file is no readable zip archive.
  virtual std::unique_ptr<StageArchive> OpenArchive(const std::string& path) = 0;
  // Replaces (or adds) the text entry `entry` of an existing archive.
  virtual bool ReplaceArchiveText(const std::string& archive, const std::string& entry,
                                  const std::string& text, const std::string& password) = 0;

  // For the stage's journal (stage_journal.h): writes `bytes` at the end of
  // `path` (creating it) or into a new `path` (replacing it), and returns only
  // once they are on the disk.
  virtual bool WriteDurable(const std::string& path, const std::string& bytes, bool append) = 0;
  // Reads a whole file of at most `limit` bytes; false when it is missing,
  // unreadable or larger.
  virtual bool ReadSmallFile(const std::string& path, size_t limit, std::string* bytes) = 0;
  // Pushes what was written to `path` out to the disk.
  virtual bool FlushFile(const std::string& path) = 0;
  // Renames `from` over `to` (replacing it) and returns once the rename is
  // on the disk: with WriteDurable into a temporary file, a file is
  // replaced whole or not at all.
  virtual bool MoveOver(const std::string& from, const std::string& to) = 0;
  // True when both files exist and hold the same bytes.
  virtual bool SameContent(const std::string& a, const std::string& b) = 0;
};

// A process opened for waiting and terminating.
class OpenedProcess {
 public:
  virtual ~OpenedProcess() = default;
  // True when the process ended within `timeout_ms`.
  virtual bool WaitForExit(unsigned timeout_ms) = 0;
  virtual bool Terminate() = 0;
};

class ProcessControl {
 public:
  virtual ~ProcessControl() = default;
  // Process ids; 0 when none matches.
  virtual uint32_t FindByFileName(const std::string& file_name) = 0;
  virtual uint32_t FindByWindowTitle(const std::string& title) = 0;
  virtual uint32_t FindByWindowClass(const std::string& class_name) = 0;
  virtual uint32_t CurrentProcessId() = 0;
  // Asks the first top-level window of the process to quit (WM_QUIT).
  virtual void AskToQuit(uint32_t pid) = 0;
  // Null when the process cannot be opened with the rights to end it.
  virtual std::unique_ptr<OpenedProcess> Open(uint32_t pid) = 0;
};

// The updater around a stage.
class StageHost {
 public:
  virtual ~StageHost() = default;
  virtual void WriteLog(const std::string& line) = 0;
  // WM_USER+999 to the host window with its "Send the message(...)" line.
  virtual void SendResult(int result) = 0;
  // The tray icon's tooltip; nothing when the icon is not shown.
  virtual void SetTrayTooltip(const std::string& text) = 0;
  virtual std::string ExpandDirectoryConstants(const std::string& path) = 0;
  // Starts, registers or imports a file by its extension; not waited for.
  virtual void RunByExtension(const std::string& path) = 0;
  virtual void Wait(unsigned milliseconds) = 0;
  // A topmost information box that the display style does not suppress
  // (the caller decides).
  virtual void ShowTopmostBox(const std::string& text, const std::string& caption) = 0;
};

}  // namespace corvane
