// The file operations of a durable replacement of a file (the local
// configuration's writes) that differ between Windows and the systems the
// unit tests run on.
#pragma once

#include <string>

namespace corvane {

// Writes `bytes` into a new file at `path` (replacing one there) and returns
// once they are on the disk.
bool WriteFileFlushed(const std::string& path, const std::string& bytes);
// Pushes what was written to an existing file out to the disk.
bool FlushFileToDisk(const std::string& path);
// Renames `from` over `to`, replacing it, and returns once the rename is on
// the disk (Windows: MoveFileEx with MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_WRITE_THROUGH).
bool RenameFileOver(const std::string& from, const std::string& to);

}  // namespace corvane
