#include "updater/engine/stages/update_stage.h"

#include <algorithm>

#include "shared/text_util.h"
#include "shared/zip_path.h"
#include "updater/engine/host_messages.h"
#include "updater/engine/config/install_paths.h"
#include "updater/engine/config/local_config.h"
#include "updater/engine/stages/stage_local_folder.h"
#include "updater/engine/stages/stage_attributes.h"
#include "updater/engine/stages/stage_recovery.h"

namespace corvane {

namespace {

constexpr unsigned kCloseWaitMs = 5000;
constexpr char kAccessFailed[] = "Failed to access the process. May be access to enough.";
constexpr char kCannotTerminate[] = "Operation failed. The application (module) can not be terminated.";
constexpr char kUnauthorized[] = "Unauthorized read or write the file: ";
constexpr char kBackupFailed[] = "Failed to backup the file: ";

std::string Key(const std::string& path) { return ToLowerAscii(path); }

bool IsProgramOrLibrary(const std::string& name) {
  return EndsWithNoCase(name, ".exe") || EndsWithNoCase(name, ".dll");
}

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string InstallFolderFor(const std::string& item_path, const std::string& subfolder,
                             const std::string& updater_folder, StageHost& host) {
  return InstallFolder(item_path, subfolder, updater_folder,
                       [&host](const std::string& path) { return host.ExpandDirectoryConstants(path); });
}

UpdateStage::UpdateStage(UpdateRun& run, const UpdateStageSetup& setup, StageView& view,
                         StageHost& host, StageFileSystem& files, ProcessControl& processes)
    : run_(run),
      setup_(setup),
      view_(view),
      host_(host),
      files_(files),
      processes_(processes),
      journal_(files, setup.updater_folder + kJournalName) {}

template <typename Fn>
void UpdateStage::ForEachPresentItem(Fn fn) {
  for (FileItem& item : run_.files) {
    if (item.is_new) fn(item.backed_up_files, item.created_files);
  }
  for (DirItem& item : run_.dirs) {
    if (item.is_new) fn(item.backed_up_files, item.created_files);
  }
}

void UpdateStage::Tooltip(const std::string& text) { host_.SetTrayTooltip(setup_.title + "\n" + text); }

std::string UpdateStage::FolderFor(const std::string& item_path, const std::string& subfolder) {
  const std::string folder = InstallFolderFor(item_path, subfolder, setup_.updater_folder, host_);
  const std::string bare = folder.substr(0, folder.size() - 1);
  // Asked once per folder, not once per file of a large directory item.
  if (known_folders_.count(Key(bare))) return folder;
  if (!files_.IsFolder(bare) && !MakeFolders(bare)) return std::string();
  known_folders_.insert(Key(bare));
  return folder;
}

bool UpdateStage::MakeFolders(const std::string& bare) {
  std::vector<std::string> missing;
  for (std::string f = bare; !f.empty() && !files_.IsFolder(f); f = ParentFolder(f)) {
    missing.push_back(f);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!journal_.Add(JournalKind::kFolder, *it)) return JournalFailed();
  }
  return files_.CreateFolders(bare, &made_folders_);
}

// --- Journal ---------------------------------------------------------------

bool UpdateStage::JournalFailed() {
  host_.WriteLog("Failed to write the update journal: " + journal_.path());
  return false;
}

bool UpdateStage::StartJournal() {
  if (files_.FileSize(journal_.path()) >= 0) {
    // Left by a stage whose recovery at start-up could not finish; the
    // programs that held its files are closed now.
    std::vector<std::string> lines;
    const RecoveryResult result = RecoverInterruptedUpdate(files_, journal_.path(), &lines);
    for (const std::string& line : lines) host_.WriteLog(line);
    if (result == RecoveryResult::kIncomplete) return false;
  }
  return journal_.Begin() || JournalFailed();
}

bool UpdateStage::SaveBackup(const std::string& path) {
  const std::string copy = path + ".ebk";
  const int64_t size = files_.FileSize(path);
  const bool declared = declared_backups_.erase(Key(path)) > 0;
  if (!declared && !journal_.Add(JournalKind::kBackupBegins, path, size)) return JournalFailed();
  LiftReadOnly(files_, copy);  // an older copy left read-only is written over
  if (!files_.CopyFile(path, copy) || !files_.FlushFile(copy) || files_.FileSize(copy) != size) {
    return false;
  }
  if (backups_declared_) {
    // Journaled before the first file is written (DeclareWrites); until
    // then no original has changed, and a back-up without its record is
    // only deleted by a recovery.
    completed_backups_.push_back(JournalRecord{JournalKind::kBackupComplete, size, path});
  } else if (!journal_.Add(JournalKind::kBackupComplete, path, size)) {
    return JournalFailed();
  }
  has_backup_.insert(Key(path));
  return true;
}

void UpdateStage::DeclareBackups() {
  // Every back-up of the pass is announced at once: a recovery deletes the
  // ".ebk" of an announced back-up that never completed, and one that never
  // began leaves nothing to delete.
  std::vector<JournalRecord> records;
  auto plan = [&](const std::string& item_path, const DownloadEntry& entry) {
    const std::string path =
        InstallFolderFor(item_path, entry.subfolder, setup_.updater_folder, host_) +
        entry.file_name;
    const std::string key = Key(path);
    if (touched_.count(key) || touched_.count(Key(path + ".ebk")) || declared_backups_.count(key)) {
      return;
    }
    const int64_t size = files_.FileSize(path);
    if (size < 0) return;
    records.push_back(JournalRecord{JournalKind::kBackupBegins, size, path});
    declared_backups_.insert(key);
  };
  for (FileItem& item : run_.files) {
    if (item.is_new && !item.downloads.empty()) plan(item.destination, item.downloads.front());
  }
  for (DirItem& item : run_.dirs) {
    if (!item.is_new) continue;
    for (const DownloadEntry& entry : item.downloads) plan(item.destination, entry);
  }
  if (journal_.AddAll(records)) {
    backups_declared_ = true;
  } else {
    declared_backups_.clear();  // each back-up is journaled on its own then
  }
}

bool UpdateStage::IsOwnFile(const std::string& path) {
  const std::string key = Key(path);
  return key == Key(journal_.path()) ||
         (EndsWithNoCase(path, ".ebk") && has_backup_.count(key.substr(0, key.size() - 4)));
}

bool UpdateStage::DeclareWrites(std::string* first_path) {
  // The completed back-ups first: from the first write on, a recovery must
  // know each of them.
  std::vector<JournalRecord> records;
  records.swap(completed_backups_);
  backups_declared_ = false;
  declared_backups_.clear();
  auto plan = [&](const std::string& item_path, const DownloadEntry& entry) {
    const std::string path =
        InstallFolderFor(item_path, entry.subfolder, setup_.updater_folder, host_) +
        entry.file_name;
    if (first_path->empty()) *first_path = path;
    const std::string key = Key(path);
    if (IsOwnFile(path) || declared_writes_.count(key) || written_keys_.count(key)) return;
    const int64_t before = files_.FileSize(path);
    records.push_back(JournalRecord{JournalKind::kWrite, before, path});
    declared_writes_[key] = before;
  };
  for (FileItem& item : run_.files) {
    if (!item.is_new) continue;
    for (const DownloadEntry& entry : item.downloads) plan(item.destination, entry);
  }
  for (DirItem& item : run_.dirs) {
    if (!item.is_new) continue;
    for (const DownloadEntry& entry : item.downloads) plan(item.destination, entry);
  }
  if (journal_.AddAll(records)) return true;
  declared_writes_.clear();
  return JournalFailed();
}

bool UpdateStage::LiftForWrite(const std::string& path) {
  const int64_t attributes = files_.Attributes(path);
  if (attributes < 0 || !(attributes & kAttributeReadOnly)) return true;
  // The installation's attributes are journaled once, before the first
  // change; a file this stage wrote has none of the installation's.
  const std::string key = Key(path);
  if (!written_keys_.count(key) && !lifted_keys_.count(key)) {
    if (!journal_.Add(JournalKind::kAttributes, path, attributes)) return JournalFailed();
    lifted_keys_.insert(key);
    lifted_.push_back({path, static_cast<uint32_t>(attributes)});
  }
  return LiftReadOnly(files_, path);
}

bool UpdateStage::NoteWrite(const std::string& path) {
  const std::string key = Key(path);
  if (IsOwnFile(path)) {
    host_.WriteLog("Refused to overwrite a backup or the update journal: " + path);
    return false;
  }
  int64_t before = -1;
  const auto declared = declared_writes_.find(key);
  if (declared != declared_writes_.end()) {
    before = declared->second;  // journaled by DeclareWrites
    declared_writes_.erase(declared);
  } else {
    before = files_.FileSize(path);
    if (!journal_.Add(JournalKind::kWrite, path, before)) return JournalFailed();
  }
  if (written_keys_.insert(key).second) {
    written_.push_back(path);
    if (before < 0) created_new_.insert(key);
  }
  return true;
}

bool UpdateStage::BackUpConfiguration() {
  if (setup_.config_item >= 0) return true;  // the stage writes no versions then
  for (const char* name : {kLocalTextName, kLocalBinaryName}) {
    const std::string path = setup_.updater_folder + name;
    if (files_.FileSize(path) < 0 || touched_.count(Key(path))) continue;
    if (touched_.count(Key(path + ".ebk"))) return false;  // an item wrote it
    if (!SaveBackup(path)) {
      files_.DeleteFile(path + ".ebk");  // a partial copy of ours
      return false;
    }
    touched_.insert(Key(path));
    config_backups_.push_back(path);
    written_.push_back(path);
  }
  return true;
}

void UpdateStage::Commit() {
  // The new files must be on the disk before the back-ups may go.
  for (const std::string& path : written_) {
    if (files_.FileSize(path) >= 0) files_.FlushFile(path);
  }
  if (!journal_.Add(JournalKind::kCommitted, std::string())) JournalFailed();
}

// --- Closing programs ------------------------------------------------------

bool UpdateStage::CloseProcess(uint32_t pid) {
  processes_.AskToQuit(pid);
  std::unique_ptr<OpenedProcess> process = processes_.Open(pid);
  if (!process) {
    view_.InfoBox(kAccessFailed);
    view_.ShowStatus(kCannotTerminate);
    return false;
  }
  if (process->WaitForExit(kCloseWaitMs)) return true;
  for (;;) {
    if (process->Terminate()) return true;
    process = processes_.Open(pid);
    if (!process || !view_.RetryBox("The application (module) for the time being can not stop.")) {
      view_.ShowStatus(kCannotTerminate);
      return false;
    }
  }
}

bool UpdateStage::CloseOne(const std::string& name, uint32_t pid, bool ask_every_time) {
  if (pid == 0) return true;
  // A library of the updater itself matches by name too; ending this very
  // process would leave the installation half updated.
  if (pid == processes_.CurrentProcessId()) return true;
  if (run_.prompts.close_win != 0 && (ask_every_time || !close_box_shown_)) {
    view_.InfoBox(run_.prompts.close_win_msg);
    close_box_shown_ = true;
  }
  host_.WriteLog("Terminate the application (module): " + name);
  return CloseProcess(pid);
}

bool UpdateStage::CloseConfiguredPrograms() {
  if (!run_.close_needed) return true;
  for (const std::string& name : run_.system.close_proc1) {
    if (!CloseOne(name, processes_.FindByFileName(name), false)) return false;
  }
  for (const std::string& title : run_.system.close_proc2) {
    if (!CloseOne(title, processes_.FindByWindowTitle(title), false)) return false;
  }
  for (const std::string& class_name : run_.system.close_proc3) {
    if (!CloseOne(class_name, processes_.FindByWindowClass(class_name), false)) return false;
  }
  return true;
}

bool UpdateStage::CloseBusyModules() {
  auto busy = [&](const std::string& item_path, const DownloadEntry& entry, bool every_time) {
    if (!IsProgramOrLibrary(entry.file_name)) return true;
    // Only looked at: nothing is created before the back-up starts.
    const std::string installed =
        InstallFolderFor(item_path, entry.subfolder, setup_.updater_folder, host_) +
        entry.file_name;
    if (files_.FileSize(installed) <= 0 || files_.CanOpenReadWrite(installed)) return true;
    return CloseOne(entry.file_name, processes_.FindByFileName(entry.file_name), every_time);
  };
  for (FileItem& item : run_.files) {
    if (item.is_new && !item.downloads.empty() &&
        !busy(item.destination, item.downloads.front(), false)) {
      return false;
    }
  }
  for (DirItem& item : run_.dirs) {
    if (!item.is_new) continue;
    for (const DownloadEntry& entry : item.downloads) {
      if (!busy(item.destination, entry, true)) return false;
    }
  }
  return true;
}

// --- Back-up, copy, unpack -------------------------------------------------

bool UpdateStage::BackUp(const std::string& path, std::vector<std::string>* backed_up,
                         std::string* error_prefix) {
  // A file that was there before, even an empty one, must come back after a
  // roll-back; a path already handled keeps its first back-up.
  if (files_.FileSize(path) < 0 || touched_.count(Key(path))) return true;
  host_.WriteLog("Backup the file: " + path);
  // A read-only file is replaced like any other (its attributes come back
  // with it after a roll-back); only a file another program holds is not.
  LiftForWrite(path);
  if (!files_.CanOpenReadWrite(path)) {
    host_.WriteLog(kUnauthorized + path);
    *error_prefix = kUnauthorized;
    return false;
  }
  // A ".ebk" that an interrupted stage still needed came with its journal,
  // which StartJournal settled; one left now names no journal and is
  // overwritten. Only one this stage wrote itself is refused.
  if (touched_.count(Key(path + ".ebk"))) {
    *error_prefix = kBackupFailed;
    return false;
  }
  host_.WriteLog("Backup the file (" + path + ") to " + path + ".ebk");
  if (!SaveBackup(path)) {
    files_.DeleteFile(path + ".ebk");  // no partial copy left beside the original
    *error_prefix = kBackupFailed;
    return false;
  }
  touched_.insert(Key(path));
  backed_up->push_back(path);
  return true;
}

bool UpdateStage::BackUpAll() {
  view_.ShowStatus("Backup old files.");
  Tooltip("Backup old files.");
  auto fail = [&](const std::string& prefix, const std::string& path) {
    if (prefix == kBackupFailed) view_.ShowStatus("Backup failed.");
    view_.InfoBox(prefix + path);
    RollBack();
    return false;
  };
  if (!StartJournal()) return fail(kBackupFailed, journal_.path());
  DeclareBackups();
  std::string error;
  for (int k = 0; k < kMaxFileItems; ++k) {
    view_.SetOverallPosition(k);
    FileItem& item = run_.files[k];
    if (!item.is_new || item.downloads.empty()) continue;
    const DownloadEntry& entry = item.downloads.front();
    const std::string folder = FolderFor(item.destination, entry.subfolder);
    const std::string path = folder + entry.file_name;
    if (folder.empty()) return fail(kBackupFailed, path);
    if (!BackUp(path, &item.backed_up_files, &error)) return fail(error, path);
  }
  view_.SetOverallPosition(20);
  for (int j = 0; j < kMaxDirItems; ++j) {
    view_.SetOverallPosition(20 + j);
    DirItem& item = run_.dirs[j];
    if (!item.is_new) continue;
    for (const DownloadEntry& entry : item.downloads) {
      const std::string folder = FolderFor(item.destination, entry.subfolder);
      const std::string path = folder + entry.file_name;
      if (folder.empty()) return fail(kBackupFailed, path);
      if (!BackUp(path, &item.backed_up_files, &error)) return fail(error, path);
    }
  }
  if (!BackUpConfiguration()) return fail(kBackupFailed, setup_.updater_folder + kLocalTextName);
  return true;
}

bool UpdateStage::CopyEntry(const std::string& item_folder, const std::string& item_path,
                            const DownloadEntry& entry, std::vector<std::string>* created,
                            std::string* installed) {
  view_.ShowStatus("Updated the file: " + entry.file_name);
  const std::string folder = FolderFor(item_path, entry.subfolder);
  *installed = (folder.empty() ? InstallFolderFor(item_path, entry.subfolder,
                                                  setup_.updater_folder, host_)
                               : folder) +
               entry.file_name;
  host_.WriteLog("Copy the file (" + item_folder + entry.temporary_name + ") to " + *installed);
  // Recorded before the copy: a copy that breaks off part-way is undone by
  // the roll-back like a finished one (the original comes from its back-up).
  touched_.insert(Key(*installed));
  created->push_back(*installed);
  if (!folder.empty() && LiftForWrite(*installed) && NoteWrite(*installed) &&
      files_.CopyFile(item_folder + entry.temporary_name, *installed)) {
    return true;
  }
  view_.ShowStatus("Update failed.");
  view_.InfoBox("Failed to update the file: " + *installed);
  RollBack();
  return false;
}

bool UpdateStage::UnzipWithBackup(const std::string& archive_path, const std::string& folder,
                                  FileItem& item) {
  std::unique_ptr<StageArchive> archive = files_.OpenArchive(archive_path);
  if (!archive) return false;
  std::string base = folder;
  if (!base.empty() && base.back() != '\\') base += '\\';
  const int count = archive->Count();
  for (int i = 0; i < count; ++i) {
    const std::string stored = archive->Name(i);
    std::vector<std::string> parts;
    if (!SplitStoredName(stored, parts)) {
      host_.WriteLog("Refused an archive entry outside the destination: " + stored);
      return false;
    }
    std::string relative;
    for (const std::string& part : parts) relative += (relative.empty() ? "" : "\\") + part;
    const std::string target = base + relative;
    if (archive->IsFolder(i)) {
      if (!files_.IsFolder(target) && !MakeFolders(target)) return false;
      continue;
    }
    std::string error;
    const size_t backups_before = item.backed_up_files.size();
    if (!BackUp(target, &item.backed_up_files, &error)) {
      view_.InfoBox(error + target);
      return false;
    }
    if (item.backed_up_files.size() > backups_before) {
      host_.WriteLog("File (" + target + ") backup to " + target + ".ebk");
    }
    const std::string parent = ParentFolder(target);
    if (!files_.IsFolder(parent) && !MakeFolders(parent)) return false;
    host_.WriteLog("Unzip the file (" + stored + ") to " + folder);
    if (!LiftForWrite(target) || !NoteWrite(target)) return false;
    touched_.insert(Key(target));
    item.created_files.push_back(target);
    if (!archive->Extract(i, base)) return false;
  }
  return true;
}

bool UpdateStage::CopyAll() {
  view_.SetOverallPosition(30);
  view_.ShowStatus("Updating files...");
  Tooltip("updating files.");
  std::string first_path;
  if (!DeclareWrites(&first_path)) {
    view_.ShowStatus("Update failed.");
    view_.InfoBox("Failed to update the file: " + first_path);
    RollBack();
    return false;
  }
  for (int k = 0; k < kMaxFileItems; ++k) {
    view_.SetOverallPosition(30 + k);
    FileItem& item = run_.files[k];
    if (!item.is_new) continue;
    const std::string item_folder = setup_.temp_folder + Format("file%d\\", k);
    for (const DownloadEntry& entry : item.downloads) {
      std::string installed;
      if (!CopyEntry(item_folder, item.destination, entry, &item.created_files, &installed)) {
        return false;
      }
      if (item.uncompress != 0) {
        const std::string folder = installed.substr(0, installed.size() - entry.file_name.size());
        host_.WriteLog("Unzip the archive (" + installed + ") to " + folder);
        if (!UnzipWithBackup(installed, folder, item)) {
          host_.WriteLog("Unzip failed.");
          view_.InfoBox("Failed to unzip the file: " + installed);
          RollBack();
          return false;
        }
        DeleteEvenReadOnly(files_, installed);
      }
      if (item.run_me != 0) item.run_path = installed;
    }
  }
  view_.SetOverallPosition(50);
  for (int j = 0; j < kMaxDirItems; ++j) {
    view_.SetOverallPosition(50 + j);
    DirItem& item = run_.dirs[j];
    if (!item.is_new) continue;
    const std::string item_folder = setup_.temp_folder + Format("dir%d\\", j);
    for (const DownloadEntry& entry : item.downloads) {
      std::string installed;
      if (!CopyEntry(item_folder, item.destination, entry, &item.created_files, &installed)) {
        return false;
      }
    }
  }
  return true;
}

// --- Configuration, roll-back, back-up removal ----------------------------

bool UpdateStage::UpdateConfiguration() {
  view_.SetOverallPosition(60);
  view_.ShowStatus("Updating configuration files.");
  Tooltip("Updating configuration files.");
  if (setup_.config_item >= 0) {
    // The new local file itself arrives with the self-update.
    view_.ShowStatus("replacing the old local configuration with the new's.");
    return true;
  }
  IniStore changed = run_.local_config;
  auto write = [&](const std::string& section, int modify, const std::string& version) {
    if (modify != 0) {
      SetLocalVersion(changed, section, version);
      host_.WriteLog("Set the ver's value of the [" + section + "] to " + version);
    } else {
      host_.WriteLog("Do not modify the ver's value of the [" + section + "].");
    }
  };
  for (int k = 0; k < kMaxFileItems; ++k) {
    const FileItem& item = run_.files[k];
    if (item.is_new) write(Format("file%d", k), item.modify_version, item.server_version);
  }
  for (int j = 0; j < kMaxDirItems; ++j) {
    const DirItem& item = run_.dirs[j];
    if (item.is_new) write(Format("dir%d", j), item.modify_version, item.server_version);
  }
  // The form the check read; a run without one writes into what is there.
  const StageLocalFolder folder(files_, setup_.updater_folder);
  std::string form = run_.local_form;
  if (form.empty()) {
    if (folder.FileSize(kLocalBinaryName) > 0) {
      form = kLocalBinaryName;
    } else if (folder.FileSize(kLocalTextName) >= 0) {
      form = kLocalTextName;
    } else {
      run_.local_config = changed;  // no file to write into
      return true;
    }
  }
  const std::string path = folder.PathOf(form);
  const std::string temp = path + kLocalTempSuffix;
  // Journaled like the items' files: a crash part-way leaves no stray
  // temporary file, and the old file comes back from its back-up.
  if (NoteWrite(temp) && NoteWrite(path) &&
      SaveLocalConfiguration(changed, form, folder, setup_.archive_password)) {
    run_.local_config = changed;
    return true;
  }
  // Versions that stay old would fetch the same update at every start.
  host_.WriteLog("file can not be modified: " + form);
  view_.ShowStatus("Update failed.");
  view_.InfoBox("Failed to update the file: " + path);
  RollBack();
  return false;
}

void UpdateStage::RollBack() {
  view_.ShowStatus("Reback to the original status.");
  Tooltip("Reback to the original status.");
  // Everything written goes first, then every original comes back: an item
  // that wrote over another item's file must not delete a restored original.
  ForEachPresentItem([&](std::vector<std::string>&, std::vector<std::string>& created) {
    for (const std::string& path : created) {
      if (files_.FileSize(path) < 0) continue;  // never written, or already gone
      // Only a file the stage made, or one whose original waits in its
      // back-up: anything else may be the only copy there is.
      const std::string key = Key(path);
      if (!created_new_.count(key) && !has_backup_.count(key)) continue;
      host_.WriteLog((DeleteEvenReadOnly(files_, path) ? "Successful delete file: "
                                                       : "Faied to delete file: ") +
                     path);
    }
    created.clear();
  });
  ForEachPresentItem([&](std::vector<std::string>& backed_up, std::vector<std::string>&) {
    for (const std::string& path : backed_up) {
      if (RestoreFromBackup(path)) {
        view_.ShowStatus("Successfully restore file: " + path);
      } else {
        view_.ShowStatus("Failed to restore file: " + path);
        unrestored_.insert(Key(path));
      }
    }
  });
  for (const std::string& path : config_backups_) {
    if (!RestoreFromBackup(path)) unrestored_.insert(Key(path));
  }
  // The originals are back: so are the attributes they had.
  for (const auto& lifted : lifted_) {
    const int64_t now = files_.Attributes(lifted.first);
    if (unrestored_.count(Key(lifted.first)) || now < 0 || now == lifted.second) continue;
    if (!files_.SetAttributes(lifted.first, lifted.second)) {
      host_.WriteLog("Failed to restore the attributes of the file: " + lifted.first);
    }
  }
  lifted_.clear();
  lifted_keys_.clear();
  // Folders the stage made and that nothing else filled since, innermost first.
  for (auto it = made_folders_.rbegin(); it != made_folders_.rend(); ++it) {
    files_.RemoveEmptyFolder(*it);
  }
  made_folders_.clear();
  known_folders_.clear();
  touched_.clear();
  RemoveBackups();
}

bool UpdateStage::RestoreFromBackup(const std::string& path) {
  const std::string copy = path + ".ebk";
  // The back-up may go only once the original is back and checked.
  const bool unchanged = files_.FileSize(path) == files_.FileSize(copy) &&
                         files_.SameContent(copy, path);
  if (!unchanged && !(LiftReadOnly(files_, path) && files_.CopyFile(copy, path) &&
                      files_.FlushFile(path) && files_.SameContent(copy, path))) {
    return false;
  }
  journal_.Add(JournalKind::kRestored, path);
  return true;
}

void UpdateStage::RemoveBackups() {
  view_.ShowStatus("Removing backup files.");
  Tooltip("Removing backup files.");
  // A back-up that stays (one that could not be put back, or one another
  // program holds) keeps the journal too: the next start settles it.
  bool all_gone = unrestored_.empty();
  ForEachPresentItem([&](std::vector<std::string>& backed_up, std::vector<std::string>&) {
    for (const std::string& path : backed_up) {
      const std::string copy = path + ".ebk";
      if (unrestored_.count(Key(path))) {
        // The only copy of the user's file: it stays for whoever repairs this.
        host_.WriteLog("The original could not be restored; its backup is kept: " + copy);
        continue;
      }
      const bool deleted = DeleteEvenReadOnly(files_, copy);
      if (!deleted) all_gone = false;
      host_.WriteLog((deleted ? "Successful backup file: " : "Failed to delete file: ") + copy);
    }
    backed_up.clear();
  });
  for (const std::string& path : config_backups_) {
    if (!unrestored_.count(Key(path)) && !DeleteEvenReadOnly(files_, path + ".ebk")) all_gone = false;
  }
  config_backups_.clear();
  if (all_gone) journal_.Remove();
}

// --- The stage -------------------------------------------------------------

void UpdateStage::RunHook(const std::string& configured, bool as_status, unsigned wait_ms) {
  const std::string path = host_.ExpandDirectoryConstants(configured);
  if (path.empty() || files_.FileSize(path) <= 0) return;
  if (as_status) {
    view_.ShowStatus("Execute the program: " + path);
  } else {
    host_.WriteLog("Execute the program: " + path);
  }
  host_.RunByExtension(path);
  if (wait_ms) host_.Wait(wait_ms);
}

void UpdateStage::Fail() { view_.PostWorkerDone(false); }

bool UpdateStage::Run() {
  view_.ShowStatus("Related applications are closed.");
  if (!CloseConfiguredPrograms() || !CloseBusyModules()) {
    Fail();
    return false;
  }
  host_.Wait(500);
  RunHook(run_.system.run_udbefore, false, 1000);

  view_.ShowStatus("Start update...");
  view_.SetOverallRange(60);
  if (!BackUpAll() || !CopyAll()) {
    Fail();
    return false;
  }
  if (!UpdateConfiguration()) {
    Fail();
    return false;
  }
  Commit();

  finished_ = true;
  RemoveBackups();
  view_.ShowStatus("Update finished successful.");
  host_.SendResult(kResultUpdated);
  Tooltip("Updated.");
  const bool shown_style =
      run_.display_style == kStyleNormal || run_.display_style == kStyleSilent;
  if (run_.operation_mode == kModeAutomatic && shown_style && run_.prompts.end_win1 != 0) {
    host_.ShowTopmostBox(run_.prompts.end_win1_msg, "information");
  }
  if (run_.operation_mode == kModeWizard && view_.IsPageVisible()) {
    view_.SetButtonText(StageButton::kExit, "&Finished");
    view_.EnableButton(StageButton::kExit, true);
  } else {
    view_.PostWorkerDone(true);
  }
  return true;
}

void UpdateStage::Finish(bool success) {
  if (finishing_) return;
  finishing_ = true;
  if (finished_) {
    view_.ShowStatus("Delete temporary files.");
    files_.RemoveTree(setup_.temp_folder);
  }
  if (!setup_.self_update) {
    std::string hook;
    if (finished_) {
      for (FileItem& item : run_.files) {
        if (!item.is_new || item.run_me == 0 || item.run_path.empty()) continue;
        host_.WriteLog("Execute file: " + item.run_path);
        if (files_.FileSize(item.run_path) > 0) {
          host_.RunByExtension(item.run_path);
        } else {
          host_.WriteLog("Executable File not found: " + item.run_path);
        }
        item.run_path.clear();
      }
      hook = run_.system.run_udafters;
    } else {
      hook = run_.system.run_udafterf;
    }
    RunHook(hook, true, 0);
  }
  view_.ShowStatus("Update Finished.");
  if (!success) {
    // A host waiting for the result must hear of the failure too.
    if (!finished_) host_.SendResult(kResultNotCompleted);
    const bool shown_style =
        run_.display_style == kStyleNormal || run_.display_style == kStyleSilent;
    if (shown_style && !setup_.self_update && run_.prompts.end_win2 != 0) {
      host_.ShowTopmostBox(run_.prompts.end_win2_msg, "Information");
    }
  }
  view_.PostPageDone(!success);
}

}  // namespace corvane
