// The "major.minor" of a program's version resource, as both programs show it.
#pragma once

#include <string>

namespace corvane {

// "%d.%d" of the file version in `path`'s version resource; empty when the
// file has none.
std::string FileVersionText(const std::string& path);

}  // namespace corvane
