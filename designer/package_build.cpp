#include "designer/package_build.h"

#include <cstdio>
#include <ctime>
#include <memory>

#include "designer/item_slots.h"
#include "designer/package_patches.h"
#include "designer/package_signing.h"
#include "designer/project_files.h"
#include "designer/release_control.h"
#include "designer/system_settings.h"
#include "designer/uieditor/image_place.h"
#include "designer/uieditor/ui_config_writer.h"
#include "designer/uieditor/ui_design.h"
#include "designer/uieditor/ui_preview.h"
#include "shared/archive_password.h"
#include "shared/ini_store.h"
#include "shared/text_util.h"
#include "shared/zip_archive.h"
#include "shared/zip_file_system.h"
#include "shared/zip_path.h"
#include "updater/engine/config/local_config.h"
#include "updater/ui/ui_config.h"

namespace corvane {

const char kNoServerFileMessage[] = "Not define the server-side configuration file, or define it incorrectly";
const char kCreateLocalFileMessage[] = "Failed to create local configuration file.";
const char kCreateServerFileMessage[] = "Failed to create server-side configuration file: ";
const char kPagePartOpenMessage[] = "Failed to open.";
const char kSystemPartMessage[] = "System configuration error.";
const char kFilePartMessage[] = "File configuration error.";
const char kDirectoryPartMessage[] = "Directory configuration error.";
const char kUpdaterSource[] = "updateApp\\update.exe";
const char kServerNameClashMessage[] = "The server-side configuration file can not be named ";
const char kServerNameClashReason[] = ": the upgrade package has a file of that name.";
const char kPackLocalFileMessage[] = "Failed to pack update.dat into update.bin.";
const char kOldBinaryMessage[] = "Failed to delete the update.bin of an earlier build; the updater would read it.";
const char kNoUpdaterMessage[] = "The package has no update.exe: ";
const char kNoUpdaterReason[] = " is missing or could not be copied.";

namespace {

#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// The files of the package itself; a server-side file of one of these
// names would overwrite it (compared without regard to case, as Windows
// names are).
const char* const kPackageFileNames[] = {kLocalTextName, kLocalBinaryName, kUiArchiveName, "update.exe"};

bool IsAbsolutePath(const std::string& path) {
  if (path.empty()) return false;
  if (path[0] == '\\' || path[0] == '/') return true;
  return path.size() >= 2 && path[1] == ':';
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Creates the file empty, truncating what was there.
bool CreateEmptyFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  return file && std::fclose(file.release()) == 0;
}

bool CopyWholeFile(const std::string& from, const std::string& to) {
  std::vector<unsigned char> bytes;
  zipfs::StagedFile out;
  return zipfs::ReadWholeFile(from, bytes) && out.Create(to) && out.Write(bytes.data(), bytes.size()) &&
         out.Commit();
}

// The three stores a page writes through: the project and the package's
// two configuration files, each file-backed. False when one cannot be read.
struct PartStores {
  IniStore project, local, server;
  bool Open(const std::string& project_file, const std::string& local_file, const std::string& server_file) {
    project.SetFileName(project_file);
    local.SetFileName(local_file);
    server.SetFileName(server_file);
    return project.Load() && local.Load() && server.Load();
  }
};

class Build {
 public:
  Build(const PackageBuildSettings& settings, PackageBuildObserver& observer)
      : settings_(settings), observer_(observer) {}

  PackageBuildResult Run();

 private:
  bool Fail(const std::string& message) {
    observer_.Message(message);
    return false;
  }
  std::string Out(const std::string& name) const { return zipfs::JoinPath(result_.output_folder, name); }
  bool WritePagePart(const char* step, const char* failure, int progress,
                     bool (*write)(IniStore&, IniStore&, IniStore&));
  bool Sign();
  bool WriteUiPart();
  bool PackLocalFile();
  bool PackUiFile();
  bool CopyUpdater();

  const PackageBuildSettings& settings_;
  PackageBuildObserver& observer_;
  PackageBuildResult result_;
  std::string server_name_;
  // The wizard's design with its converted images, packed straight into
  // "ui.bin": no "ui.dat" or "res\" is ever written into the output folder,
  // so a folder of the publisher's of that name stays as it is.
  UiPackage ui_package_;
};

bool WriteSystemPart(IniStore& project, IniStore& local, IniStore& server) {
  return WriteSystemPackagePart(project, local, server);
}
bool WriteFilePart(IniStore& project, IniStore& local, IniStore& server) {
  return WriteItemPackagePart(ItemKind::kFile, project, local, server);
}
bool WriteDirectoryPart(IniStore& project, IniStore& local, IniStore& server) {
  return WriteItemPackagePart(ItemKind::kDirectory, project, local, server);
}

PackageBuildResult Build::Run() {
  result_.output_folder = ResolveOutputFolder(settings_.project_file, settings_.output_folder);
  observer_.Step("Reading the project " + settings_.project_file);
  server_name_ = PackageServerFileName(settings_.project_file);
  if (server_name_.empty()) {
    Fail(kNoServerFileMessage);
    return result_;
  }
  for (const char* own : kPackageFileNames) {
    if (EqualsNoCase(server_name_, own)) {
      Fail(kServerNameClashMessage + server_name_ + kServerNameClashReason);
      return result_;
    }
  }
  observer_.Step("Creating the folder " + result_.output_folder);
  zipfs::MakeDirectories(result_.output_folder);
  observer_.Progress(2);

  observer_.Step("Creating update.dat and " + server_name_);
  if (!CreateEmptyFile(Out(kLocalTextName))) {
    Fail(kCreateLocalFileMessage);
    return result_;
  }
  if (!CreateEmptyFile(Out(server_name_))) {
    Fail(kCreateServerFileMessage + server_name_);
    return result_;
  }
  observer_.Progress(3);

  if (!WritePagePart("Writing the system configuration", kSystemPartMessage, 4, WriteSystemPart) ||
      !WritePagePart("Writing the file items", kFilePartMessage, 5, WriteFilePart) ||
      !WritePackagePatches(settings_.project_file, result_.output_folder, Out(server_name_), observer_) ||
      !WritePagePart("Writing the directory items", kDirectoryPartMessage, 7, WriteDirectoryPart) ||
      !Sign() || !WriteUiPart()) {
    return result_;
  }
  // A package lacking any of its files must never look complete.
  if (!PackLocalFile()) return result_;
  observer_.Progress(9);
  if (!PackUiFile()) return result_;
  observer_.Progress(10);
  if (!CopyUpdater()) return result_;
  observer_.Progress(11);
  result_.ok = true;
  return result_;
}

bool Build::WritePagePart(const char* step, const char* failure, int progress,
                          bool (*write)(IniStore&, IniStore&, IniStore&)) {
  observer_.Step(step);
  PartStores stores;
  if (!stores.Open(settings_.project_file, Out(kLocalTextName), Out(server_name_))) {
    observer_.Message(kPagePartOpenMessage);
    return Fail(failure);
  }
  if (!write(stores.project, stores.local, stores.server)) return Fail(failure);
  observer_.Progress(progress);
  return true;
}

// After every page wrote its part: the roll-out goes into the server-side
// file before it is signed; the signature covers the server-side
// file's final bytes, and the public key must be in "update.dat" before
// it is packed.
bool Build::Sign() {
  PackageSigning signing;
  signing.project_file = settings_.project_file;
  signing.local_file = Out(kLocalTextName);
  signing.server_file = Out(server_name_);
  signing.now = static_cast<uint64_t>(std::time(nullptr));
  return WriteRollout(settings_.project_file, signing.server_file, settings_.random, observer_) &&
         SignPackage(signing, settings_.crypto, observer_);
}

bool Build::WriteUiPart() {
  observer_.Step("Writing the wizard design: ui.dat and its images");
  IniStore project;
  project.SetFileName(settings_.project_file);
  if (!project.Load()) return Fail(kUiDesignError);
  UiDesign design;
  LoadUiDesign(project, &design);
  design = DesignForPackage(design, settings_.designer_folder + "defui" + kSeparator);
  std::string error;
  // Pictures are read only from the project's folder and the templates'.
  const std::string project_folder = settings_.project_file.substr(0, settings_.project_file.find_last_of("\\/") + 1);
  if (!PlaceDesignImages(&design, {project_folder, settings_.designer_folder + "defui"}, &error)) {
    observer_.Message(error);
    return Fail(kUiDesignError);
  }
  if (!BuildUiPackage(design, settings_.designer_version, &ui_package_, &error)) {
    observer_.Message(error);
    return Fail(kUiDesignError);
  }
  observer_.Progress(8);
  return true;
}

bool Build::PackLocalFile() {
  const std::string binary = Out(kLocalBinaryName);
  if (settings_.local_mode == 1) {
    observer_.Step(std::string("Packing update.dat into ") + kLocalBinaryName);
    // The archive password is the one the updater reads and writes back with.
    // "update.dat" goes only once it is safely inside the archive.
    if (zipfs::PathExists(binary) && !zipfs::RemoveFile(binary)) return Fail(kPackLocalFileMessage);
    if (!PackIntoArchive(binary, Out(kLocalTextName), kLocalMemberName, ArchivePassword())) {
      return Fail(kPackLocalFileMessage);
    }
    if (!zipfs::RemoveFile(Out(kLocalTextName))) return Fail(kPackLocalFileMessage);
  } else if (zipfs::PathExists(binary)) {
    observer_.Step("Removing the update.bin of an earlier binary build");
    // The updater reads update.bin first: an old one left beside the new
    // update.dat would be the configuration that ships.
    if (!zipfs::RemoveFile(binary)) return Fail(kOldBinaryMessage);
  }
  return true;
}

bool Build::PackUiFile() {
  observer_.Step(std::string("Packing ") + kUiArchiveName);
  // A new archive each time: nothing of an earlier design stays in it.
  if (!PackUiPackage(ui_package_, Out(kUiArchiveName), kUiTextName, std::string())) return Fail(kCreateUiFileError);
  return true;
}

bool Build::CopyUpdater() {
  const std::string source = zipfs::JoinPath(zipfs::JoinPath(settings_.designer_folder, "updateApp"), "update.exe");
  observer_.Step("Copying " + source);
  result_.updater_copied = FileHasContent(source) && CopyWholeFile(source, Out("update.exe"));
  if (!result_.updater_copied) return Fail(kNoUpdaterMessage + source + kNoUpdaterReason);
  return true;
}

}  // namespace

std::string NormalizeOutputFolder(const std::string& folder) {
  std::string trimmed = Trim(folder);
  if (!trimmed.empty() && trimmed.back() != '\\' && trimmed.back() != '/') trimmed += kSeparator;
  return trimmed;
}

std::string ResolveOutputFolder(const std::string& project_file, const std::string& folder) {
  const std::string normalized = NormalizeOutputFolder(folder);
  if (normalized.empty() || IsAbsolutePath(normalized)) return normalized;
  const size_t slash = project_file.find_last_of("\\/");
  if (slash == std::string::npos) return normalized;
  std::string relative = normalized;
  // "output\" and ".\output\" both mean the folder beside the project.
  while (relative.size() > 2 && relative[0] == '.' && (relative[1] == '\\' || relative[1] == '/')) {
    relative.erase(0, 2);
  }
  return project_file.substr(0, slash + 1) + relative;
}
std::string PackageServerFileName(const std::string& project_file) {
  IniStore project;
  project.SetFileName(project_file);
  if (!project.Load()) return std::string();
  const std::string name = SystemPageValues::Load(project).ServerFileName();
  return IsSafePathComponent(name) ? name : std::string();
}

PackageBuildResult BuildPackage(const PackageBuildSettings& settings, PackageBuildObserver& observer,
                                PackageFolderOps&) {
  return Build(settings, observer).Run();
}

std::string BuildCompleteText(const std::string& output_folder) {
  return "Build complete!\r\nResults are saved in the folder:" + output_folder + "\r\n";
}

std::vector<std::string> UiFileEntries(const std::string& ui_text) {
  std::vector<std::string> entries;
  IniStore ui;
  if (!ui.LoadFromText(ui_text)) return entries;
  auto add = [&entries](const std::string& name) {
    if (name.empty()) return;
    for (const std::string& seen : entries) {
      if (seen == name) return;
    }
    entries.push_back(name);
  };
  std::string icon = ui.GetString("UI", "sysicon");
  const size_t colon = icon.find(':');
  if (colon != std::string::npos && colon > 0) icon.resize(colon);
  add(Trim(icon));
  for (int w = 0; w < 4; ++w) {
    for (int i = 0; i < 2; ++i) {
      add(GetAttribute(ui.GetString(Format("win%d", w), Format("image%d", i)), "bmpfile"));
    }
  }
  return entries;
}

}  // namespace corvane
