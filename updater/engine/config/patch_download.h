// Delta updates of file items, the parts that need no Windows: reading an
// item's patches from the server-side file, choosing the one made from the
// installed file, and the limits a patch is decoded under. The download
// stage fetches and applies the patch (patch_download_win.h); whenever that
// fails it downloads the whole file as it would without patches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/ini_store.h"
#include "shared/vcdiff/vcdiff_decoder.h"
#include "updater/engine/update_items.h"
#include "updater/engine/update_log.h"

namespace corvane {

// "patch<N>_urls" and "patch<N>_from_md5" of `section`, N = 0 to 4, each
// logged when given (an item without patches logs what it always did). A
// patch without a usable URL or without a 32-digit MD5 is left out, with a
// log line saying so.
std::vector<FilePatch> ReadFilePatches(IniStore& server, UpdateLog& log, const std::string& section);

// The patch whose "from" MD5 is `installed_md5` (either case), or null.
const FilePatch* PatchForInstalledFile(const std::vector<FilePatch>& patches,
                                       const std::string& installed_md5);

// The caps a patch is decoded under. The new build's size is not known in
// advance, so the output may be several times the installed file (a build
// rarely grows more); one window is held in memory, and no encoder writes
// windows larger than 16 MiB.
VcdiffLimits PatchLimits(uint64_t installed_size);

// The largest patch file worth reading: a patch larger than the output it
// may make is refused before it is read into memory.
uint64_t MaxPatchFileSize(uint64_t installed_size);

}  // namespace corvane
