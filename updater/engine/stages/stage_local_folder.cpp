#include "updater/engine/stages/stage_local_folder.h"

namespace corvane {

int64_t StageLocalFolder::FileSize(const std::string& name) const {
  return files_.FileSize(PathOf(name));
}

bool StageLocalFolder::ReadFile(const std::string& name, std::string* bytes) const {
  return files_.ReadSmallFile(PathOf(name), static_cast<size_t>(kMaxLocalFileBytes), bytes);
}

bool StageLocalFolder::WriteFlushed(const std::string& name, const std::string& bytes) const {
  return files_.WriteDurable(PathOf(name), bytes, /*append=*/false);
}

bool StageLocalFolder::ReplaceArchiveMember(const std::string& name, const std::string& member,
                                            const std::string& text,
                                            const std::string& password) const {
  return files_.ReplaceArchiveText(PathOf(name), member, text, password) &&
         files_.FlushFile(PathOf(name));
}

bool StageLocalFolder::RenameOver(const std::string& from, const std::string& to) const {
  return files_.MoveOver(PathOf(from), PathOf(to));
}

bool StageLocalFolder::Remove(const std::string& name) const {
  return files_.FileSize(PathOf(name)) < 0 || files_.DeleteFile(PathOf(name));
}

}  // namespace corvane
