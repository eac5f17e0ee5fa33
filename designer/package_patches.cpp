#include "designer/package_patches.h"

#include <vector>

#include "designer/item_slots.h"
#include "designer/url_list.h"
#include "shared/ini_store.h"
#include "shared/md5_digest.h"
#include "shared/text_util.h"
#include "shared/vcdiff/vcdiff_encoder.h"
#include "shared/zip_file_system.h"

namespace corvane {

const char kUpdateFileUnreadableMessage[] = "Failed to read the update file: ";
const char kPreviousBuildUnreadableMessage[] = "Failed to read the previous build: ";
const char kUpdateFileDigestMessage[] = "The update file's MD5 is not the MD5 of the file: ";
const char kUpdateFileMissingMessage[] = "Previous builds need the update file: ";
const char kPatchWriteMessage[] = "Failed to write the patch: ";

namespace {

bool ReadFile(const std::string& path, std::vector<unsigned char>* bytes, std::string* md5) {
  if (path.empty() || !zipfs::ReadWholeFile(path, *bytes)) return false;
  Md5Digest digest;
  const bool ok = digest.FileDigest(path);
  *md5 = ok ? digest.HexDigest() : std::string();
  return !md5->empty();
}

ByteSpan Span(const std::vector<unsigned char>& bytes) {
  return ByteSpan{bytes.data(), bytes.size()};
}

// The install name the updater will use: "rename", or the text after the
// last "/" of the first URL.
std::string InstallName(IniStore& project, const std::string& section) {
  const std::string rename = project.GetString(section, "rename");
  if (!rename.empty()) return rename;
  const std::vector<std::string> lines = UnpackUrlList(project.GetString(section, "urls"));
  UrlSource first;
  if (lines.empty() || !ParseDisplayLine(lines.front(), &first)) return std::string();
  const std::string url = first.protocol + first.address;
  return url.substr(url.rfind('/') + 1);
}

class ItemPatches {
 public:
  ItemPatches(IniStore& project, IniStore& server, const std::string& output_folder,
              PackageBuildObserver& observer)
      : project_(project), server_(server), output_folder_(output_folder), observer_(observer) {}

  bool Write(const std::string& section);

 private:
  bool Fail(const std::string& message) {
    observer_.Message(message);
    return false;
  }

  IniStore& project_;
  IniStore& server_;
  const std::string& output_folder_;
  PackageBuildObserver& observer_;
};

bool ItemPatches::Write(const std::string& section) {
  const std::string urls = project_.GetString(section, "urls");
  std::vector<std::pair<size_t, std::string>> previous;
  for (size_t k = 0; k < kMaxPreviousBuilds; ++k) {
    const std::string path = project_.GetString(section, PreviousFileKey(k));
    if (!path.empty()) previous.emplace_back(k, path);
  }
  if (urls.empty() || previous.empty()) return true;

  const std::string source_path = project_.GetString(section, "source_file");
  if (source_path.empty()) return Fail(kUpdateFileMissingMessage + section);
  std::vector<unsigned char> source;
  std::string source_md5;
  if (!ReadFile(source_path, &source, &source_md5)) {
    return Fail(kUpdateFileUnreadableMessage + source_path);
  }
  // Patches are checked against the item's MD5; one of another file would
  // make every installation fall back to the whole download.
  if (!EqualsNoCase(Trim(project_.GetString(section, "md5")), source_md5)) {
    return Fail(kUpdateFileDigestMessage + source_path);
  }
  const std::string install_name = InstallName(project_, section);
  for (const auto& [number, path] : previous) {
    std::vector<unsigned char> old_bytes;
    std::string old_md5;
    if (!ReadFile(path, &old_bytes, &old_md5)) return Fail(kPreviousBuildUnreadableMessage + path);
    if (old_md5 == source_md5) continue;  // that installation gets no update at all
    const std::string name = PatchFileName(install_name, old_md5);
    observer_.Step("Writing the patch " + name);
    const std::string patch = EncodeVcdiff(Span(old_bytes), Span(source));
    zipfs::StagedFile out;
    if (!out.Create(zipfs::JoinPath(output_folder_, name)) || !out.Write(patch.data(), patch.size()) ||
        !out.Commit()) {
      return Fail(kPatchWriteMessage + name);
    }
    const bool ok = server_.SetString(section, Format("patch%d_urls", static_cast<int>(number)), PatchUrls(urls, name)) &&
                    server_.SetString(section, Format("patch%d_from_md5", static_cast<int>(number)), old_md5);
    if (!ok) return Fail(kPatchWriteMessage + name);
  }
  return true;
}

}  // namespace

std::string PatchFileName(const std::string& install_name, const std::string& old_md5) {
  return install_name + "." + ToLowerAscii(old_md5.substr(0, 8)) + ".vcdiff";
}

std::string PatchUrls(const std::string& packed_urls, const std::string& file_name) {
  std::vector<std::string> lines;
  for (const std::string& line : UnpackUrlList(packed_urls)) {
    UrlSource url;
    if (!ParseDisplayLine(line, &url)) continue;
    const size_t slash = url.address.find_last_of("/\\");
    url.address = (slash == std::string::npos ? std::string() : url.address.substr(0, slash + 1)) + file_name;
    lines.push_back(UrlListEditor::LineFor(url));
  }
  return PackUrlLines(lines);
}

bool WritePackagePatches(const std::string& project_file, const std::string& output_folder,
                         const std::string& server_file, PackageBuildObserver& observer) {
  IniStore project, server;
  project.SetFileName(project_file);
  server.SetFileName(server_file);
  if (!project.Load() || !server.Load()) {
    observer.Message(kPagePartOpenMessage);
    return false;
  }
  ItemPatches patches(project, server, output_folder, observer);
  for (size_t i = 0; i < SlotCount(ItemKind::kFile); ++i) {
    if (!patches.Write(SlotSection(ItemKind::kFile, i))) return false;
  }
  return true;
}

}  // namespace corvane
