// Runs the real update stage on the real Windows file system and kills this
// process the hard way (TerminateProcess, as the task manager or a power cut
// would end it) right after the N-th step that could change the disk: each
// copy, delete, folder, unpacked entry, journal record, and each flush (the
// version writes of the local configuration happen between two flushes).
// The updater itself carries no such hook; the decorator lives only here.
//
//   crash_stage.exe <N> <install-folder\> <download-folder\> <item>...
//     item: file<k>=<name> | file<k>=<name>,unzip
//     the downloads wait in <download-folder>\file<k>\<name>, as the download
//     stage leaves them; every item's new version is "1.1".
//     hold=<path>: the file is held open (shared for reading and writing, not
//     for deleting) from the moment the stage copied it until the process
//     ends, as an antivirus or an indexer would hold it.
//   N = 0 runs to the end and prints "steps <count>" and "result <0|1>".
//   Each rename prints "step <n> moved <from> -> <to>" first, so the tests
//   can find the steps of the local configuration's write.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "shared/archive_password.h"
#include "updater/engine/config/local_config.h"
#include "updater/engine/stages/stage_platform_win.h"
#include "updater/engine/stages/update_stage.h"
#include "updater/ui/stage_view.h"

namespace corvane {
namespace {

class Killer {
 public:
  explicit Killer(int kill_after) : kill_after_(kill_after) {}
  void Step() {
    if (++steps_ == kill_after_) ::TerminateProcess(::GetCurrentProcess(), 99);
  }
  int steps() const { return steps_; }

 private:
  int kill_after_;
  int steps_ = 0;
};

class KillingArchive : public StageArchive {
 public:
  KillingArchive(std::unique_ptr<StageArchive> inner, Killer& killer)
      : inner_(std::move(inner)), killer_(killer) {}
  int Count() const override { return inner_->Count(); }
  std::string Name(int index) const override { return inner_->Name(index); }
  bool IsFolder(int index) const override { return inner_->IsFolder(index); }
  bool Extract(int index, const std::string& folder) override {
    const bool ok = inner_->Extract(index, folder);
    killer_.Step();
    return ok;
  }

 private:
  std::unique_ptr<StageArchive> inner_;
  Killer& killer_;
};

class KillingFileSystem : public StageFileSystem {
 public:
  KillingFileSystem(std::unique_ptr<StageFileSystem> inner, Killer& killer)
      : inner_(std::move(inner)), killer_(killer) {}

  int64_t FileSize(const std::string& p) override { return inner_->FileSize(p); }
  bool IsFolder(const std::string& p) override { return inner_->IsFolder(p); }
  int64_t Attributes(const std::string& p) override { return inner_->Attributes(p); }
  bool SetAttributes(const std::string& p, uint32_t attributes) override {
    return Then(inner_->SetAttributes(p, attributes));
  }
  bool CanOpenReadWrite(const std::string& p) override { return inner_->CanOpenReadWrite(p); }
  bool ReadSmallFile(const std::string& p, size_t limit, std::string* bytes) override {
    return inner_->ReadSmallFile(p, limit, bytes);
  }
  bool SameContent(const std::string& a, const std::string& b) override {
    return inner_->SameContent(a, b);
  }
  bool CreateFolders(const std::string& p, std::vector<std::string>* made) override {
    return Then(inner_->CreateFolders(p, made));
  }
  bool CopyFile(const std::string& from, const std::string& to) override {
    const bool ok = inner_->CopyFile(from, to);
    if (ok && to == hold_path && !held_) {
      held_.Reset(::CreateFileA(to.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      std::printf("held %s %d\n", to.c_str(), static_cast<bool>(held_) ? 1 : 0);
    }
    return Then(ok);
  }
  bool DeleteFile(const std::string& p) override { return Then(inner_->DeleteFile(p)); }
  bool RemoveEmptyFolder(const std::string& p) override {
    return Then(inner_->RemoveEmptyFolder(p));
  }
  bool RemoveTree(const std::string& p) override { return Then(inner_->RemoveTree(p)); }
  std::unique_ptr<StageArchive> OpenArchive(const std::string& p) override {
    std::unique_ptr<StageArchive> archive = inner_->OpenArchive(p);
    if (!archive) return nullptr;
    return std::make_unique<KillingArchive>(std::move(archive), killer_);
  }
  bool ReplaceArchiveText(const std::string& archive, const std::string& entry,
                          const std::string& text, const std::string& password) override {
    return Then(inner_->ReplaceArchiveText(archive, entry, text, password));
  }
  bool WriteDurable(const std::string& p, const std::string& bytes, bool append) override {
    return Then(inner_->WriteDurable(p, bytes, append));
  }
  bool FlushFile(const std::string& p) override { return Then(inner_->FlushFile(p)); }
  bool MoveOver(const std::string& from, const std::string& to) override {
    std::printf("step %d moved %s -> %s\n", killer_.steps() + 1, from.c_str(), to.c_str());
    return Then(inner_->MoveOver(from, to));
  }

  std::string hold_path;

 private:
  ScopedFile held_;
  bool Then(bool result) {
    killer_.Step();
    return result;
  }
  std::unique_ptr<StageFileSystem> inner_;
  Killer& killer_;
};

class QuietView : public StageView {
 public:
  void ShowStatus(const std::string& text) override { std::printf("status %s\n", text.c_str()); }
  void SetOverallRange(int) override {}
  void SetOverallPosition(int) override {}
  void EnableButton(StageButton, bool) override {}
  void SetButtonText(StageButton, const std::string&) override {}
  void PostWorkerDone(bool) override {}
  void PostPageDone(bool) override {}
  bool IsPageVisible() const override { return false; }
  void InfoBox(const std::string& text) override { std::printf("box %s\n", text.c_str()); }
  bool RetryBox(const std::string&) override { return false; }
  bool AskCancel() override { return false; }
  void ReleaseBackgroundImages() override {}
};

class PrintingHost : public StageHost {
 public:
  void WriteLog(const std::string& line) override { std::printf("log %s\n", line.c_str()); }
  void SendResult(int) override {}
  void SetTrayTooltip(const std::string&) override {}
  std::string ExpandDirectoryConstants(const std::string& path) override { return path; }
  void RunByExtension(const std::string&) override {}
  void Wait(unsigned) override {}
  void ShowTopmostBox(const std::string&, const std::string&) override {}
};

bool AddItem(const std::string& item_text, UpdateRun& run) {
  const size_t eq = item_text.find('=');
  if (item_text.compare(0, 4, "file") != 0 || eq == std::string::npos) return false;
  const int k = std::atoi(item_text.substr(4, eq - 4).c_str());
  if (k < 0 || k >= kMaxFileItems) return false;
  std::string name = item_text.substr(eq + 1);
  FileItem& item = run.files[k];
  const size_t comma = name.find(',');
  if (comma != std::string::npos) {
    item.uncompress = name.substr(comma + 1) == "unzip" ? 1 : 0;
    name.resize(comma);
  }
  item.is_new = true;
  item.install_name = name;
  item.server_version = "1.1";
  DownloadEntry entry;
  entry.file_name = name;
  entry.temporary_name = name;
  item.downloads = {entry};
  return true;
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  using namespace corvane;
  if (argc < 5) return 2;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  Killer killer(std::atoi(argv[1]));
  UpdateRun run;
  UpdateStageSetup setup;
  setup.updater_folder = argv[2];
  setup.temp_folder = argv[3];
  setup.archive_password = ArchivePassword();
  const LocalConfigResult local =
      ReadLocalConfiguration(DiskFolder(setup.updater_folder), setup.archive_password,
                             &run.local_config);
  if (!local.ok) return 3;
  run.local_form = local.form;
  std::string hold_path;
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.compare(0, 5, "hold=") == 0) {
      hold_path = arg.substr(5);
    } else if (!AddItem(arg, run)) {
      return 4;
    }
  }
  run.display_style = kStyleHide;  // no boxes
  run.operation_mode = kModeAutomatic;

  KillingFileSystem files(MakeWindowsFileSystem(), killer);
  files.hold_path = hold_path;
  std::unique_ptr<ProcessControl> processes = MakeWindowsProcessControl();
  QuietView view;
  PrintingHost host;
  UpdateStage stage(run, setup, view, host, files, *processes);
  const bool ok = stage.Run();
  std::printf("steps %d\nresult %d\n", killer.steps(), ok ? 1 : 0);
  return 0;
}
