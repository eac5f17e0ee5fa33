// The Windows half of durable writes that callers with a file of their own
// (a journal opened for appending, say) share with WriteFileFlushed.
#pragma once

#include <windows.h>

#include <string>

namespace corvane {

// Writes all of `bytes` at the file's position and flushes the file to the
// disk; false on any short or failed write.
bool WriteAllFlushed(HANDLE file, const std::string& bytes);

}  // namespace corvane
