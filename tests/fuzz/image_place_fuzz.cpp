// Feeds arbitrary picture paths, as a project from elsewhere may hold them,
// to the rule that decides which files the designer reads: whatever it
// accepts must lie inside one of the allowed folders, by plain names only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "designer/uieditor/image_place.h"
#include "shared/zip_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string source(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> folders = {"C:\\p\\", "C:\\Corvane\\defui"};
  const std::string placed = corvane::PlacedImagePath(source, folders);
  if (placed.empty()) return 0;
  for (const std::string& folder : folders) {
    std::string base = folder;
    while (base.back() == '\\') base.pop_back();
    if (placed.size() <= base.size() + 1 || !corvane::StoredNamesEqual(placed.substr(0, base.size()), base, true) ||
        (placed[base.size()] != '\\' && placed[base.size()] != '/')) {
      continue;
    }
    std::vector<std::string> parts;
    if (!corvane::SplitStoredName(placed.substr(base.size() + 1), parts)) __builtin_trap();
    return 0;
  }
  __builtin_trap();  // accepted a path outside every folder
}
