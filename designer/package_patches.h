// The package's binary patches: for every defined file item with previous
// builds, one VCDIFF patch per build, "<install name>.<first 8 digits of
// the old build's MD5>.vcdiff" in the output folder, and the item's
// "patch<N>_urls" (each of its URLs with the file name replaced by the
// patch's, so patches sit beside the file on every mirror) and
// "patch<N>_from_md5" in the server-side file.
#pragma once

#include <string>

#include "designer/package_build.h"

namespace corvane {

extern const char kUpdateFileUnreadableMessage[];   // followed by the path
extern const char kPreviousBuildUnreadableMessage[];
extern const char kUpdateFileDigestMessage[];
extern const char kUpdateFileMissingMessage[];      // followed by the section
extern const char kPatchWriteMessage[];

// The name of the patch from the build with `old_md5` to `install_name`.
std::string PatchFileName(const std::string& install_name, const std::string& old_md5);

// The packed URL list with every URL's file name replaced by `file_name`.
std::string PatchUrls(const std::string& packed_urls, const std::string& file_name);

// Writes every item's patches into the output folder and their keys into the
// server-side file. A build whose update file or previous build cannot be
// read, whose update file's MD5 is not the item's, or whose patch cannot be
// written stops with a message naming the file; false then.
bool WritePackagePatches(const std::string& project_file, const std::string& output_folder,
                         const std::string& server_file, PackageBuildObserver& observer);

}  // namespace corvane
