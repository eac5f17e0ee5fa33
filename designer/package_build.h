// The upgrade package: the local configuration file ("update.dat", or
// "update.bin" holding it), the server-side file under the name of the first
// URL (and its signature "<name>.sig" when the project signs), "ui.bin" with
// the wizard's images and icon strip, and a copy of the updater. Built from the saved project file, so the "Build upgrade package"
// button and the command-line build ("Corvane.exe /build") write the same
// package through the same steps.
#pragma once

#include <string>
#include <vector>

#include "shared/p256_crypto.h"

namespace corvane {

extern const char kNoServerFileMessage[];  // "Not define the server-side configuration file, ..."
extern const char kCreateLocalFileMessage[];
extern const char kCreateServerFileMessage[];  // followed by the name
extern const char kPagePartOpenMessage[];      // "Failed to open."
extern const char kSystemPartMessage[];
extern const char kFilePartMessage[];
extern const char kDirectoryPartMessage[];
extern const char kUpdaterSource[];  // "updateApp\update.exe" under the designer's folder
// A server-side file named like one of the package's own files:
// message + name + reason.
extern const char kServerNameClashMessage[];
extern const char kServerNameClashReason[];
extern const char kPackLocalFileMessage[];  // "update.bin" could not be written
extern const char kOldBinaryMessage[];      // text mode: an earlier "update.bin" that cannot go
// No "update.exe" in the package: message + source path + reason.
extern const char kNoUpdaterMessage[];
extern const char kNoUpdaterReason[];
constexpr int kBuildProgressMax = 11;

struct PackageBuildSettings {
  std::string project_file;     // the saved project
  std::string output_folder;    // a trailing separator is added when missing
  int local_mode = 0;           // 0: "update.dat", 1: "update.bin"
  std::string designer_folder;  // with a trailing separator: "updateApp\" and "defui\" live there
  std::string designer_version;
  // Signs the server-side file for projects with "sign_config=1"
  // (designer/package_signing.h); such a build fails without it.
  P256Crypto* crypto = nullptr;
};

// What the build reports while it runs. The window turns these into
// posted messages; the command line prints them.
class PackageBuildObserver {
 public:
  virtual ~PackageBuildObserver() = default;
  virtual void Progress(int position) = 0;
  // A line describing the step that starts.
  virtual void Step(const std::string& text) = 0;
  // A message the publisher must see (the window shows a box for each).
  virtual void Message(const std::string& text) = 0;
};

// The one file-system operation that needs the platform's folder listing.
// The build itself deletes no folder any more (it writes "ui.bin" from
// memory); the parameter stays for the callers that pass one.
class PackageFolderOps {
 public:
  virtual ~PackageFolderOps() = default;
  // Deletes the folder and everything in it; true when it is gone.
  virtual bool DeleteFolderTree(const std::string& path) = 0;
};

struct PackageBuildResult {
  bool ok = false;               // all four files are in the package
  bool updater_copied = false;   // "update.exe" is in the package
  std::string output_folder;     // with its trailing separator
};

// The folder as the build writes into it: trimmed, with a trailing separator.
std::string NormalizeOutputFolder(const std::string& folder);

// The output folder the build writes into: a relative folder ("output\")
// lies beside the project file, not in whatever folder is current.
std::string ResolveOutputFolder(const std::string& project_file, const std::string& folder);

// The server-side file name of the saved project's first URL; empty when
// the list is empty or the URL names no file. Names that could not be a
// plain file in the output folder ("..", "a:b") count as not named.
std::string PackageServerFileName(const std::string& project_file);

// Runs every step. Failures are reported through `observer.Message` with the
// messages the publisher knows and stop the build; files written so far stay.
// Every step counts: the build succeeds only with the local file, the
// server-side file, "ui.bin" and "update.exe" all written. The build deletes
// only files it wrote itself ("update.dat" once packed into "update.bin") and
// the "update.bin" of an earlier binary build.
PackageBuildResult BuildPackage(const PackageBuildSettings& settings, PackageBuildObserver& observer,
                                PackageFolderOps& folders);

// "Build complete!\r\nResults are saved in the folder:" + folder + "\r\n".
std::string BuildCompleteText(const std::string& output_folder);

// The image and icon entries "ui.dat" names, each once in the order met:
// the icon strip (sysicon cut at its first colon past the start), then the
// bmpfile of image0 and image1 of win0 to win3.
std::vector<std::string> UiFileEntries(const std::string& ui_text);

}  // namespace corvane
