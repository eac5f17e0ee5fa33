#include "updater/engine/config/patch_download.h"

#include "shared/text_util.h"
#include "updater/engine/config/url_entry.h"

namespace corvane {

namespace {

bool IsHexDigest(const std::string& s) {
  if (s.size() != 32) return false;
  for (char c : s) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  return true;
}

constexpr uint64_t kMiB = uint64_t{1} << 20;

}  // namespace

std::vector<FilePatch> ReadFilePatches(IniStore& server, UpdateLog& log, const std::string& section) {
  std::vector<FilePatch> patches;
  for (int n = 0; n < kMaxFilePatches; ++n) {
    const std::string urls_key = Format("patch%d_urls", n);
    const std::string md5_key = Format("patch%d_from_md5", n);
    const std::string packed = server.GetString(section, urls_key, "");
    const std::string from_md5 = Trim(server.GetString(section, md5_key, ""));
    if (packed.empty() && from_md5.empty()) continue;
    log.Write(urls_key + "=" + packed);
    log.Write(md5_key + "=" + from_md5);
    FilePatch patch;
    patch.number = n;
    patch.from_md5 = from_md5;
    AppendUrlEntries(packed, &patch.urls);
    if (patch.urls.Empty() || !IsHexDigest(from_md5)) {
      log.Write(Format("Patch %d is left out: it needs a URL and the 32-digit MD5 of the file it "
                       "applies to.", n));
      continue;
    }
    patches.push_back(patch);
  }
  return patches;
}

const FilePatch* PatchForInstalledFile(const std::vector<FilePatch>& patches,
                                       const std::string& installed_md5) {
  if (installed_md5.empty()) return nullptr;
  for (const FilePatch& patch : patches) {
    if (EqualsNoCase(patch.from_md5, installed_md5)) return &patch;
  }
  return nullptr;
}

VcdiffLimits PatchLimits(uint64_t installed_size) {
  VcdiffLimits limits;
  limits.max_output = installed_size * 4 + 64 * kMiB;
  limits.max_window = static_cast<size_t>(16 * kMiB);
  return limits;
}

uint64_t MaxPatchFileSize(uint64_t installed_size) { return PatchLimits(installed_size).max_output; }

}  // namespace corvane
