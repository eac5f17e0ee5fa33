#include "updater/engine/stages/stage_recovery.h"

#include <map>

#include "shared/text_util.h"
#include "updater/engine/stages/stage_attributes.h"
#include "updater/engine/stages/stage_journal.h"
#include "updater/engine/stages/stage_platform.h"

namespace corvane {

namespace {

// A journal of a normal stage holds a few records per file; anything near
// this size is not one of ours.
constexpr size_t kMaxJournalBytes = 16u << 20;

// What the journal says about one installed path.
struct PathHistory {
  std::string path;
  bool absent_before = false;  // its first record was a write to a missing file
  bool backup_begun = false;
  bool backup_complete = false;
  int64_t backup_size = -1;
  bool restored = false;
  bool written = false;
  int64_t attributes = -1;  // before the stage cleared its read-only flag; -1: untouched
};

class Recovery {
 public:
  Recovery(StageFileSystem& files, const std::string& journal, std::vector<std::string>* log)
      : files_(files), journal_(journal), log_(*log) {}

  RecoveryResult Run();

 private:
  PathHistory& History(const std::string& path) {
    PathHistory& h = paths_[ToLowerAscii(path)];
    if (h.path.empty()) {
      h.path = path;
      order_.push_back(ToLowerAscii(path));
    }
    return h;
  }
  void Learn(const JournalContents& contents);
  bool RollForward();
  bool RollBack();
  bool Restore(PathHistory& h);
  // Replaces a journal whose last record was torn by its good records, so
  // that what recovery appends follows a whole line.
  bool RewriteWhole(const JournalContents& contents);
  void GiveBackAttributes(const PathHistory& h);

  StageFileSystem& files_;
  const std::string journal_;
  std::vector<std::string>& log_;
  std::map<std::string, PathHistory> paths_;
  std::vector<std::string> order_;    // keys in journal order
  std::vector<std::string> folders_;  // made by the stage, outermost first
  bool committed_ = false;
};

void Recovery::Learn(const JournalContents& contents) {
  for (const JournalRecord& r : contents.records) {
    switch (r.kind) {
      case JournalKind::kFolder:
        folders_.push_back(r.path);
        break;
      case JournalKind::kBackupBegins:
        History(r.path).backup_begun = true;
        break;
      case JournalKind::kBackupComplete: {
        PathHistory& h = History(r.path);
        h.backup_complete = true;
        h.backup_size = r.number;
        break;
      }
      case JournalKind::kWrite: {
        PathHistory& h = History(r.path);
        // Only the first record of a path tells what was there before.
        if (!h.written && !h.backup_begun && !h.backup_complete) h.absent_before = r.number < 0;
        h.written = true;
        break;
      }
      case JournalKind::kAttributes: {
        PathHistory& h = History(r.path);
        if (h.attributes < 0) h.attributes = r.number;  // the first is the original's
        break;
      }
      case JournalKind::kRestored:
        History(r.path).restored = true;
        break;
      case JournalKind::kCommitted:
        committed_ = true;
        break;
    }
  }
}

bool Recovery::RollForward() {
  bool ok = true;
  for (const std::string& key : order_) {
    const PathHistory& h = paths_[key];
    const std::string copy = h.path + ".ebk";
    if (!h.backup_complete || files_.FileSize(copy) < 0) continue;
    if (!DeleteEvenReadOnly(files_, copy)) {
      log_.push_back("Failed to delete file: " + copy);
      ok = false;
    }
  }
  return ok;
}

bool Recovery::Restore(PathHistory& h) {
  const std::string copy = h.path + ".ebk";
  const int64_t size = files_.FileSize(copy);
  if (size < 0) {
    // The roll-back that recorded "restored" had deleted it; otherwise there
    // is nothing left to restore from, and the file is left as it is.
    if (!h.restored) log_.push_back("The backup of the file is missing: " + copy);
    GiveBackAttributes(h);
    return true;
  }
  if (size != h.backup_size) {
    log_.push_back("The backup does not match the journal and is kept: " + copy);
    return false;
  }
  const bool same = files_.FileSize(h.path) == size && files_.SameContent(copy, h.path);
  if (!same && !(LiftReadOnly(files_, h.path) && files_.CopyFile(copy, h.path) &&
                 files_.FlushFile(h.path) && files_.SameContent(copy, h.path))) {
    log_.push_back("Failed to restore file: " + h.path);
    return false;
  }
  if (!same) log_.push_back("Successfully restore file: " + h.path);
  GiveBackAttributes(h);
  // Recorded before the back-up goes: a crash in between must not later
  // read as a missing back-up.
  JournalRecord record{JournalKind::kRestored, -1, h.path};
  std::string line;
  if (!FormatJournalRecord(record, &line) || !files_.WriteDurable(journal_, line, true)) {
    log_.push_back("Failed to write the update journal: " + journal_);
    return false;
  }
  if (!DeleteEvenReadOnly(files_, copy)) {
    log_.push_back("Failed to delete file: " + copy);
    return false;
  }
  return true;
}

void Recovery::GiveBackAttributes(const PathHistory& h) {
  const int64_t now = files_.Attributes(h.path);
  if (h.attributes < 0 || now < 0 || now == h.attributes) return;
  if (!files_.SetAttributes(h.path, static_cast<uint32_t>(h.attributes))) {
    log_.push_back("Failed to restore the attributes of the file: " + h.path);
  }
}

bool Recovery::RollBack() {
  bool ok = true;
  // What the stage created goes first, then every original comes back.
  for (const std::string& key : order_) {
    const PathHistory& h = paths_[key];
    if (!h.absent_before) continue;
    if (files_.FileSize(h.path) >= 0) {
      if (DeleteEvenReadOnly(files_, h.path)) {
        log_.push_back("Successful delete file: " + h.path);
      } else {
        log_.push_back("Faied to delete file: " + h.path);
        ok = false;
      }
    }
    // A back-up taken later of what the stage itself wrote is worthless.
    if (h.backup_begun && files_.FileSize(h.path + ".ebk") >= 0) {
      DeleteEvenReadOnly(files_, h.path + ".ebk");
    }
  }
  for (const std::string& key : order_) {
    PathHistory& h = paths_[key];
    if (h.absent_before) continue;
    if (h.backup_complete) {
      if (!Restore(h)) ok = false;
      continue;
    }
    if (h.backup_begun && files_.FileSize(h.path + ".ebk") >= 0) {
      // A copy cut short; the original was not touched yet.
      DeleteEvenReadOnly(files_, h.path + ".ebk");
    }
    GiveBackAttributes(h);
  }
  for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) files_.RemoveEmptyFolder(*it);
  return ok;
}

bool Recovery::RewriteWhole(const JournalContents& contents) {
  std::string bytes = JournalHeader();
  for (const JournalRecord& record : contents.records) {
    std::string line;
    if (!FormatJournalRecord(record, &line)) return false;
    bytes += line;
  }
  // Through a temporary file: a crash now leaves the old journal or the
  // new one, each of which reads the same.
  const std::string temp = journal_ + ".tmp";
  if (files_.WriteDurable(temp, bytes, /*append=*/false) && files_.MoveOver(temp, journal_)) {
    return true;
  }
  if (files_.FileSize(temp) >= 0) files_.DeleteFile(temp);
  return false;
}

RecoveryResult Recovery::Run() {
  if (files_.FileSize(journal_) < 0) return RecoveryResult::kNothing;
  std::string bytes;
  if (!files_.ReadSmallFile(journal_, kMaxJournalBytes, &bytes)) {
    log_.push_back("The update journal cannot be read and is kept; nothing was restored: " +
                   journal_);
    return RecoveryResult::kIncomplete;
  }
  const JournalContents contents = ParseJournal(bytes);
  if (contents.state == JournalState::kNotStarted) {
    files_.DeleteFile(journal_);
    return RecoveryResult::kNothing;
  }
  if (contents.state != JournalState::kGood) {
    log_.push_back("The update journal cannot be read and is kept; nothing was restored: " +
                   journal_);
    return RecoveryResult::kIncomplete;
  }
  log_.push_back("Found the journal of an interrupted update: " + journal_);
  if (contents.torn_tail && !RewriteWhole(contents)) {
    log_.push_back("Failed to write the update journal: " + journal_);
    log_.push_back("The interrupted update could not be settled; its journal and backups are kept.");
    return RecoveryResult::kIncomplete;
  }
  Learn(contents);
  const bool ok = committed_ ? RollForward() : RollBack();
  if (!ok) {
    log_.push_back("The interrupted update could not be settled; its journal and backups are kept.");
    return RecoveryResult::kIncomplete;
  }
  files_.DeleteFile(journal_);
  if (committed_) {
    log_.push_back("The interrupted update had installed every file; its backups were removed.");
    return RecoveryResult::kCompleted;
  }
  log_.push_back("The interrupted update was rolled back; the files are as before it.");
  return RecoveryResult::kRolledBack;
}

}  // namespace

RecoveryResult RecoverInterruptedUpdate(StageFileSystem& files, const std::string& journal_path,
                                        std::vector<std::string>* log) {
  return Recovery(files, journal_path, log).Run();
}

}  // namespace corvane
