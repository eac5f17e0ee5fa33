#include "updater/engine/stages/stage_attributes.h"

namespace corvane {

bool LiftReadOnly(StageFileSystem& files, const std::string& path) {
  const int64_t attributes = files.Attributes(path);
  if (attributes < 0 || !(attributes & kAttributeReadOnly)) return true;
  return files.SetAttributes(path, static_cast<uint32_t>(attributes) & ~kAttributeReadOnly);
}

bool DeleteEvenReadOnly(StageFileSystem& files, const std::string& path) {
  const int64_t attributes = files.Attributes(path);
  const bool read_only = attributes >= 0 && (attributes & kAttributeReadOnly);
  if (read_only && !LiftReadOnly(files, path)) return false;
  if (files.DeleteFile(path)) return true;
  if (read_only) files.SetAttributes(path, static_cast<uint32_t>(attributes));
  return false;
}

}  // namespace corvane
