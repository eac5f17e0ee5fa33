#include "designer/uieditor/ui_config_writer.h"

#include "shared/archive_password.h"
#include "shared/text_util.h"
#include "shared/zip_archive.h"
#include "shared/zip_file_system.h"
#include "shared/zip_path.h"

namespace corvane {

const char kImageFormatError[] = "Image file format error:";
const char kImageCopyError[] = "Failed to copy image file:";
const char kOpenFileError[] = "Failed to open file.";
const char kSysIconEntry[] = "res\\sysicon.bmp";

namespace {

constexpr char kEntryFolder[] = "res\\";

void AddLine(std::string& text, const std::string& line) { text += line + "\r\n"; }

void AddKey(std::string& text, const char* key, const std::string& value) {
  AddLine(text, std::string(key) + "=" + OneLineText(value));
}

void Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
}

bool ReadSource(const std::string& path, ByteBuffer* bytes) { return zipfs::ReadWholeFile(path, *bytes); }

// The system icon as a strip entry: an ".ico" is drawn as one frame, a
// ".bmp" strip is copied with width / 16 frames.
bool ConvertSysIcon(const std::string& source, UiPackageFile* file, int* frames, std::string* error) {
  const ImageSourceKind kind = ImageKindOfPath(source);
  if (kind != ImageSourceKind::kIcon && kind != ImageSourceKind::kBmp) {
    Fail(error, kImageFormatError + source);
    return false;
  }
  ByteBuffer bytes;
  if (!ReadSource(source, &bytes)) {
    Fail(error, kImageCopyError + source);
    return false;
  }
  file->entry = kSysIconEntry;
  if (kind == ImageSourceKind::kIcon) {
    std::optional<ByteBuffer> strip = IconToSysIconStrip(bytes.data(), bytes.size());
    if (!strip) {
      Fail(error, kImageFormatError + source);
      return false;
    }
    file->bytes = std::move(*strip);
    *frames = 1;
    return true;
  }
  const SysIconCheck check = CheckSysIconBitmap(bytes.data(), bytes.size(), frames);
  if (check != SysIconCheck::kAccepted) {
    Fail(error, SysIconMessage(check));
    return false;
  }
  file->bytes = std::move(bytes);
  return true;
}

// The entry path as folders and a file name, refused when it would leave
// the folder it is written into.
bool EntryPath(const std::string& folder, const std::string& entry, std::string* path, std::string* parent) {
  std::vector<std::string> parts;
  if (!SplitStoredName(entry, parts)) return false;
  std::string at = folder;
  for (size_t i = 0; i + 1 < parts.size(); ++i) at = zipfs::JoinPath(at, parts[i]);
  *parent = at;
  *path = zipfs::JoinPath(at, parts.back());
  return true;
}

}  // namespace

std::string ImageEntries::EntryFor(const std::string& source) const {
  for (size_t i = 0; i < sources.size(); ++i) {
    if (EqualsNoCase(sources[i], source)) return entries[i];
  }
  return std::string();
}

std::string SourceBaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

ImageEntries AssignImageEntries(const UiDesign& design) {
  ImageEntries result;
  for (const DesignWindow& w : design.windows) {
    for (const DesignImage& image : w.images) {
      const std::string source = Trim(image.source);
      if (source.empty() || !result.EntryFor(source).empty()) continue;
      std::string base = OneLineAttributeText(SourceBaseName(source));
      // A name the archive would refuse is replaced; a base name already
      // taken by another file (or by the icon strip) gets a number.
      if (!IsSafePathComponent(base + ".bmp")) base = "image";
      std::string entry;
      for (int n = 1;; ++n) {
        entry = kEntryFolder + (n == 1 ? base : Format("%s_%d", base.c_str(), n)) + ".bmp";
        bool taken = StoredNamesEqual(entry, kSysIconEntry, true);
        for (const std::string& other : result.entries) taken = taken || StoredNamesEqual(entry, other, true);
        if (!taken) break;
      }
      result.sources.push_back(source);
      result.entries.push_back(entry);
    }
  }
  return result;
}

SkinRect WrittenRect(const SkinRect& rect) {
  if (rect.left < 0 || rect.top < 0) return SkinRect();
  return rect;
}

std::string FormatUiConfigurationText(const UiDesign& design, const ImageEntries& images,
                                      const std::string& sysicon_value, const std::string& designer_version) {
  std::string text;
  for (int n = 0; n < kWizardWindows; ++n) {
    const DesignWindow& w = design.windows[n];
    AddLine(text, Format("[win%d]", n));
    WindowSkin attr = w.attr;
    attr.rect = WrittenRect(attr.rect);
    AddKey(text, "attr", FormatWindowAttribute(attr));
    for (int h = 0; h < 2; ++h) {
      DesignImage image = w.images[h];
      image.rect = WrittenRect(image.rect);
      AddKey(text, DesignControlKey(ImageControl(h)), FormatImageAttribute(image, images.EntryFor(Trim(image.source))));
      DesignButton button = w.buttons[h];
      button.rect = WrittenRect(button.rect);
      AddKey(text, DesignControlKey(ButtonControl(h)), FormatButtonAttribute(button));
    }
    for (int s = 0; s < 4; ++s) {
      TextSkin t = w.texts[s];
      t.rect = WrittenRect(t.rect);
      AddKey(text, DesignControlKey(TextControl(s)), FormatTextAttribute(t));
    }
    auto placement = [&](const char* key, ControlPlacement p) {
      p.rect = WrittenRect(p.rect);
      AddKey(text, key, FormatPlacementAttribute(p));
    };
    placement("list", w.list);
    placement("rich_edit", w.details);
    for (int k = 0; k < 2; ++k) {
      placement(k == 0 ? "progress0" : "progress1", w.progress[k]);
      placement(k == 0 ? "status0" : "status1", w.status[k]);
    }
    AddLine(text, "");
  }
  AddLine(text, "[UI]");
  AddKey(text, "title", design.title);
  AddKey(text, "mbname", design.template_name);
  AddKey(text, "mbauthor", design.template_author);
  AddKey(text, "sysicon", sysicon_value);
  AddKey(text, "copyright", design.copyright);
  AddKey(text, "myurl", design.myurl);
  AddKey(text, "ui_ver", designer_version);
  return text;
}

bool BuildUiPackage(const UiDesign& design, const std::string& designer_version, UiPackage* package,
                    std::string* error) {
  UiPackage built;
  std::string sysicon_value;
  const std::string icon_source = Trim(design.sysicon);
  if (!icon_source.empty()) {
    UiPackageFile strip;
    int frames = 0;
    if (!ConvertSysIcon(icon_source, &strip, &frames, error)) return false;
    sysicon_value = strip.entry + Format(":%d", frames);
    built.files.push_back(std::move(strip));
  }
  const ImageEntries images = AssignImageEntries(design);
  for (size_t i = 0; i < images.sources.size(); ++i) {
    const std::string& source = images.sources[i];
    const ImageSourceKind kind = ImageKindOfPath(source);
    if (kind != ImageSourceKind::kBmp && kind != ImageSourceKind::kGif && kind != ImageSourceKind::kJpeg) {
      Fail(error, kImageFormatError + source);
      return false;
    }
    ByteBuffer bytes;
    if (!ReadSource(source, &bytes)) {
      Fail(error, kImageCopyError + source);
      return false;
    }
    std::optional<ByteBuffer> bmp = ConvertToSkinBmp(bytes.data(), bytes.size());
    if (!bmp) {
      Fail(error, kImageFormatError + source);
      return false;
    }
    built.files.push_back(UiPackageFile{images.entries[i], std::move(*bmp)});
  }
  built.text = FormatUiConfigurationText(design, images, sysicon_value, designer_version);
  *package = std::move(built);
  return true;
}

bool WriteUiPackageToFolder(const UiPackage& package, const std::string& folder, const std::string& text_name,
                            std::string* error) {
  for (const UiPackageFile& file : package.files) {
    std::string path, parent;
    zipfs::StagedFile out;
    if (!EntryPath(folder, file.entry, &path, &parent) || !zipfs::MakeDirectories(parent) || !out.Create(path) ||
        !out.Write(file.bytes.data(), file.bytes.size()) || !out.Commit()) {
      Fail(error, kImageCopyError + zipfs::JoinPath(folder, file.entry));
      return false;
    }
  }
  zipfs::StagedFile text;
  if (!zipfs::MakeDirectories(folder) || !text.Create(zipfs::JoinPath(folder, text_name)) ||
      !text.Write(package.text.data(), package.text.size()) || !text.Commit()) {
    Fail(error, kOpenFileError);
    return false;
  }
  return true;
}

bool PackUiPackage(const UiPackage& package, const std::string& archive_path, const std::string& text_entry,
                   const std::string& header) {
  ZipArchive archive;
  if (!archive.Create(archive_path)) return false;
  archive.SetPassword(ArchivePassword());
  if (!archive.AddEntryFromMemory(text_entry, header + package.text)) return false;
  for (const UiPackageFile& file : package.files) {
    if (archive.FindEntry(file.entry) >= 0) continue;  // each image once
    if (!archive.AddEntryFromMemory(file.entry, file.bytes.data(), file.bytes.size())) return false;
  }
  return archive.Close();
}

}  // namespace corvane
