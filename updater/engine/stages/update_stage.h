// The update stage: installs what the download stage left in the temporary
// folder. It closes the programs that hold the files, backs every file it
// will overwrite up to "<path>.ebk", copies, unpacks and records what it
// wrote, writes the new versions into the local configuration and removes
// the back-ups; any failure after the first change rolls everything back.
//
// Crash safety: before the first back-up the stage starts its journal
// (stage_journal.h) and records each change ahead of making it, so that an
// updater started after a crash can undo a half-done stage
// (stage_recovery.h). The journal goes with the back-ups when the stage ends.
//
// Portable: it acts only through StageFileSystem and ProcessControl, reports
// through its page (StageView) and the updater (StageHost). Run() is the
// worker's body; Finish() runs on the page's thread when the worker is done.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "updater/engine/stages/stage_journal.h"
#include "updater/engine/stages/stage_platform.h"
#include "updater/engine/update_items.h"
#include "updater/ui/stage_view.h"

namespace corvane {

struct UpdateStageSetup {
  std::string updater_folder;  // with trailing "\"
  std::string temp_folder;     // the download folder, with trailing "\"
  std::string title;           // the wizard's title, for the tray tooltip
  int config_item = -1;        // the item that replaces the local configuration itself
  bool self_update = false;    // the run fetches a new updater (hooks and boxes are skipped)
  std::string archive_password;
};

// InstallFolder (install_paths.h) with the host's directory constants.
std::string InstallFolderFor(const std::string& item_path, const std::string& subfolder,
                             const std::string& updater_folder, StageHost& host);

class UpdateStage {
 public:
  UpdateStage(UpdateRun& run, const UpdateStageSetup& setup, StageView& view, StageHost& host,
              StageFileSystem& files, ProcessControl& processes);

  // Every step from closing programs to removing the back-ups; posts the
  // worker's result to the page. False after a failure (rolled back).
  bool Run();
  // On the page's thread, once: temporary folder, "runme" programs, the
  // hook program, the host's -1 after a failure, then the next page.
  void Finish(bool success);
  bool Finished() const { return finished_; }

  // Single steps, public for the tests.
  bool CloseProcess(uint32_t pid);
  // Unpacks `archive` into `folder`, backing up what it overwrites into the
  // lists of `item`. An entry that would land outside the folder fails it.
  bool UnzipWithBackup(const std::string& archive, const std::string& folder, FileItem& item);
  void RollBack();
  void RemoveBackups();

 private:
  template <typename Fn>
  void ForEachPresentItem(Fn fn);
  bool CloseConfiguredPrograms();
  bool CloseBusyModules();
  bool CloseOne(const std::string& name, uint32_t pid, bool ask_every_time);
  // Creates the folder (remembering what it made); "" when that failed.
  std::string FolderFor(const std::string& item_path, const std::string& subfolder);
  // Creates `bare` and its missing parents, journaling each first.
  bool MakeFolders(const std::string& bare);
  // Starts the journal, first settling one an interrupted stage left.
  bool StartJournal();
  // Copies `path` to its ".ebk" with the journal's records around the copy.
  bool SaveBackup(const std::string& path);
  // Clears the read-only attribute of a file about to be written over,
  // journaling the installation's attributes first; false when it cannot.
  bool LiftForWrite(const std::string& path);
  // Journals that `path` is about to be written; refuses the journal itself
  // and the back-up of a file this stage saved.
  bool NoteWrite(const std::string& path);
  // The journal itself, or the back-up of a file this stage saved.
  bool IsOwnFile(const std::string& path);
  bool JournalFailed();
  bool BackUpConfiguration();
  void Commit();
  bool RestoreFromBackup(const std::string& path);
  // Back-up of one installed path; false (after the box) when it failed.
  // `error_prefix` receives the text of the failure.
  bool BackUp(const std::string& path, std::vector<std::string>* backed_up,
              std::string* error_prefix);
  bool BackUpAll();
  // The journal's records of a whole pass in one write to disk, ahead of
  // the pass: the back-ups about to begin, then (before the first file is
  // written) the back-ups completed and the files about to be written.
  void DeclareBackups();
  bool DeclareWrites(std::string* first_path);
  bool CopyAll();
  bool CopyEntry(const std::string& item_folder, const std::string& item_path,
                 const DownloadEntry& entry, std::vector<std::string>* created,
                 std::string* installed);
  // False (rolled back) when the new versions cannot be written.
  bool UpdateConfiguration();
  void Fail();
  void RunHook(const std::string& configured, bool as_status, unsigned wait_ms);
  void Tooltip(const std::string& text);

  UpdateRun& run_;
  const UpdateStageSetup setup_;
  StageView& view_;
  StageHost& host_;
  StageFileSystem& files_;
  ProcessControl& processes_;

  bool finished_ = false;
  bool finishing_ = false;
  bool close_box_shown_ = false;
  // Every installed path the stage backed up or wrote: a path is backed up
  // once only, so a second item writing the same file cannot replace the
  // original in its ".ebk" with new bytes.
  std::set<std::string> touched_;
  // Back-ups the roll-back could not put back: their ".ebk" copies stay.
  std::set<std::string> unrestored_;
  // Folders the stage created, outermost first; a roll-back removes those
  // left empty.
  std::vector<std::string> made_folders_;
  // Destination folders found or made (keys); a roll-back forgets them.
  std::set<std::string> known_folders_;

  JournalWriter journal_;
  // Paths (as keys) with a complete back-up, and paths the stage created
  // where there was no file: only these may a roll-back delete.
  std::set<std::string> has_backup_;
  std::set<std::string> created_new_;
  // Every path written, in order, flushed before the commit record.
  std::vector<std::string> written_;
  std::set<std::string> written_keys_;
  // Records written ahead by DeclareBackups and DeclareWrites (keys; the
  // writes with the size before), and the back-ups completed since
  // DeclareBackups, journaled together with the writes.
  std::set<std::string> declared_backups_;
  std::map<std::string, int64_t> declared_writes_;
  std::vector<JournalRecord> completed_backups_;
  bool backups_declared_ = false;
  // The local configuration files, backed up like the items' files but
  // without log lines (their back-up is the journal's own).
  std::vector<std::string> config_backups_;
  // Files of the installation whose read-only attribute the stage cleared,
  // with the attributes a roll-back gives back.
  std::vector<std::pair<std::string, uint32_t>> lifted_;
  std::set<std::string> lifted_keys_;
};

}  // namespace corvane
