// The updater's folder as the local configuration's write-back sees it
// during the update stage: every read and write goes through the stage's
// file system, so the stage's fakes and its crash probe see each step.
#pragma once

#include <string>

#include "updater/engine/config/local_config.h"
#include "updater/engine/stages/stage_platform.h"

namespace corvane {

class StageLocalFolder : public LocalFolder {
 public:
  // `folder` ends with "\".
  StageLocalFolder(StageFileSystem& files, std::string folder)
      : files_(files), folder_(std::move(folder)) {}

  int64_t FileSize(const std::string& name) const override;
  bool ReadFile(const std::string& name, std::string* bytes) const override;
  std::string PathOf(const std::string& name) const override { return folder_ + name; }
  bool WriteFlushed(const std::string& name, const std::string& bytes) const override;
  bool ReplaceArchiveMember(const std::string& name, const std::string& member,
                            const std::string& text, const std::string& password) const override;
  bool RenameOver(const std::string& from, const std::string& to) const override;
  bool Remove(const std::string& name) const override;

 private:
  StageFileSystem& files_;
  std::string folder_;
};

}  // namespace corvane
