// The update stage's journal, "update.jnl" in the updater's folder: what the
// stage is about to change, written ahead of each change and flushed to disk,
// so that an updater started after a crash (power loss, the task manager)
// can put the installation back as it was (stage_recovery.h).
//
// Format, version 1. Plain 8-bit text, lines ended by "\n":
//
//   corvane update journal 1
//   <kind>\t<number>\t<path>\t<crc>
//   ...
//
// The first line names the format and its version. Every further line is one
// record; <crc> is the CRC-32 of "<kind>\t<number>\t<path>" as eight lower-case
// hexadecimal digits. <number> is a decimal byte count, -1 where none applies.
// Paths are full paths and hold no tab, line break or zero byte. Kinds:
//
//   F  a folder the stage is about to create (it did not exist)
//   B  a back-up of <path> to <path>.ebk begins (<number>: the file's size)
//   K  the back-up <path>.ebk is complete and flushed (<number>: its size)
//   W  <path> is about to be written (<number>: its size before, -1 absent)
//   A  <path>'s read-only attribute is about to be cleared (<number>: the
//      attributes it had, to be given back when the original returns)
//   R  <path> was restored from its back-up and checked (a roll-back runs)
//   C  every new file is in place and flushed: only back-ups are removed now
//
// The journal is created (truncated) with its first line before the first
// back-up, grows by appended, flushed records ahead of the steps they
// announce (one step's, or a whole pass's in one write), and is removed
// only together with the back-ups when the stage ends. A crash while a line
// is being written leaves at most the last line torn: a last line without its
// "\n" or with a wrong checksum is ignored, since its step had not begun. A
// bad line followed by others means the file was damaged: nothing in it is
// trusted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

class StageFileSystem;

extern const char kJournalName[];  // "update.jnl"

enum class JournalKind : char {
  kFolder = 'F',
  kBackupBegins = 'B',
  kBackupComplete = 'K',
  kWrite = 'W',
  kAttributes = 'A',
  kRestored = 'R',
  kCommitted = 'C',
};

struct JournalRecord {
  JournalKind kind = JournalKind::kWrite;
  int64_t number = -1;
  std::string path;
};

enum class JournalState {
  kGood,            // header and records read (a torn last record dropped)
  kNotStarted,      // empty or a torn first line: nothing was changed yet
  kUnknownVersion,  // a journal of another format version
  kDamaged,         // not a journal, or a bad record in its middle
};

struct JournalContents {
  JournalState state = JournalState::kNotStarted;
  std::vector<JournalRecord> records;
  bool torn_tail = false;  // the last record was dropped
};

std::string JournalHeader();
// One record line with its checksum and "\n". False when the path cannot be
// written into a record (tab, line break or zero byte).
bool FormatJournalRecord(const JournalRecord& record, std::string* line);
JournalContents ParseJournal(const std::string& bytes);

// The stage's side: creates the journal and appends records through the
// file system's durable writes.
class JournalWriter {
 public:
  JournalWriter(StageFileSystem& files, std::string path)
      : files_(files), path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  bool active() const { return active_; }

  // Creates the journal with its first line.
  bool Begin();
  // Appends one record; false when it could not be written to disk.
  bool Add(JournalKind kind, const std::string& path, int64_t number = -1);
  // Appends several records with one write to disk (nothing when empty).
  bool AddAll(const std::vector<JournalRecord>& records);
  // Removes the journal (the stage ended and its back-ups are gone).
  bool Remove();

 private:
  StageFileSystem& files_;
  std::string path_;
  bool active_ = false;
};

}  // namespace corvane
