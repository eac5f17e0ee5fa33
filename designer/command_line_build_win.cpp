#include "designer/command_line_build_win.h"

#include <windows.h>

#include "designer/build_command.h"
#include "designer/build_test_values.h"
#include "designer/folder_ops_win.h"
#include "designer/main_window_win.h"
#include "designer/project_files.h"
#include "shared/cng_crypto_win.h"
#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace corvane {

namespace {

// A GUI program has standard handles only when its starter passed them (a
// pipe from a script, a redirection); otherwise the console of the shell it
// was started from is borrowed.
class ConsoleOutput {
 public:
  ConsoleOutput() {
    out_ = Usable(::GetStdHandle(STD_OUTPUT_HANDLE));
    err_ = Usable(::GetStdHandle(STD_ERROR_HANDLE));
    if ((!out_ || !err_) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
      if (!out_) out_ = Usable(::GetStdHandle(STD_OUTPUT_HANDLE));
      if (!err_) err_ = Usable(::GetStdHandle(STD_ERROR_HANDLE));
    }
  }
  void Out(const std::string& line) { Write(out_, line); }
  void Err(const std::string& line) { Write(err_ ? err_ : out_, line); }

 private:
  static HANDLE Usable(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE || handle == nullptr ? nullptr : handle;
  }
  static void Write(HANDLE handle, const std::string& line) {
    if (!handle) return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    ::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  HANDLE out_ = nullptr;
  HANDLE err_ = nullptr;
};

class PrintingObserver : public PackageBuildObserver {
 public:
  explicit PrintingObserver(ConsoleOutput& console) : console_(console) {}
  void Progress(int) override {}
  void Step(const std::string& text) override { console_.Out(text); }
  void Message(const std::string& text) override {
    console_.Err(text);
    failed_ = true;
  }
  bool Failed() const { return failed_; }

 private:
  ConsoleOutput& console_;
  bool failed_ = false;
};

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH * 2] = {};
  DWORD got = ::GetFullPathNameA(path.c_str(), sizeof(buffer), buffer, nullptr);
  return got > 0 && got < sizeof(buffer) ? std::string(buffer) : path;
}

}  // namespace

bool WinFolderOps::DeleteFolderTree(const std::string& path) { return corvane::DeleteFolderTree(path); }

std::string DesignerFolder() {
  char path[MAX_PATH * 2] = {};
  DWORD got = ::GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string program(path, got < sizeof(path) ? got : 0);
  return program.substr(0, program.find_last_of('\\') + 1);
}

bool RunCommandLineBuild(const char* command_line, int* exit_code) {
  BuildCommand command;
  std::string error;
  const BuildCommandKind kind = ParseBuildCommand(command_line ? command_line : "", &command, &error);
  if (kind == BuildCommandKind::kNone) return false;
  ConsoleOutput console;
  *exit_code = 2;
  if (kind == BuildCommandKind::kBad) {
    console.Err(error);
    console.Err(kBuildUsage);
    return true;
  }
  const std::string project_file = FullPath(command.project_file);
  ProjectLocation location;
  IniStore project;
  if (!LocateProject(project_file, &location) || !ReadProjectFile(project_file, &project) ||
      project.Lines().empty()) {
    console.Err("Failed to open file: " + project_file);
    return true;
  }
  const BuildTestValues values = BuildTestValues::Load(project, location.folder);
  PackageBuildSettings settings;
  settings.project_file = project_file;
  settings.output_folder = command.output_folder.empty() ? values.output_folder : FullPath(command.output_folder);
  settings.local_mode = values.local_mode;
  settings.designer_folder = DesignerFolder();
  settings.designer_version = DesignerVersion();
  CngP256 crypto;
  settings.crypto = &crypto;
  CngRandom random;
  settings.random = &random;
  if (Trim(settings.output_folder).empty()) {
    console.Err("No output folder.");
    return true;
  }
  PrintingObserver observer(console);
  WinFolderOps folders;
  const PackageBuildResult result = BuildPackage(settings, observer, folders);
  if (!result.ok || observer.Failed()) {
    console.Err("Build failed.");
    *exit_code = 1;
    return true;
  }
  if (!result.updater_copied) {
    // A package without its updater must never reach a server.
    console.Err("The package has no update.exe: " + settings.designer_folder + kUpdaterSource +
                " is missing or could not be copied.");
    *exit_code = 1;
    return true;
  }
  console.Out("Build complete! Results are saved in the folder: " + result.output_folder);
  *exit_code = 0;
  return true;
}

}  // namespace corvane
