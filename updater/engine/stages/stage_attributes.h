// Read-only files in the stages: a file the update stage, its roll-back or
// the recovery must write over or delete has its read-only attribute cleared
// first (Windows refuses both otherwise), and the attributes it had are put
// back when the original returns.
#pragma once

#include <string>

#include "updater/engine/stages/stage_platform.h"

namespace corvane {

// Clears the read-only attribute of `path`; true when the file can now be
// written over or deleted as far as its attributes go (or is not there).
bool LiftReadOnly(StageFileSystem& files, const std::string& path);

// Deletes `path`, read-only or not. A file that stays keeps its attributes.
bool DeleteEvenReadOnly(StageFileSystem& files, const std::string& path);

}  // namespace corvane
