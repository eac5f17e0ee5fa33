#include "shared/path_component.h"

#include <cstring>

#include "shared/text_util.h"

namespace corvane {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsForbiddenCharacter(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f || std::strchr("<>:\"|?*", c) != nullptr;
}

// Windows opens a device instead of a file for these base names, whatever
// extension follows ("nul.txt") and whatever blanks precede the extension.
bool IsDeviceName(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = ToLowerAscii(base);
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0)) {
    unsigned char digit = static_cast<unsigned char>(base[3]);
    // 1 to 9, and the superscript digits 1, 2 and 3 of the Windows code pages.
    if ((digit >= '1' && digit <= '9') || digit == 0xb9 || digit == 0xb2 || digit == 0xb3) return true;
  }
  return false;
}

}  // namespace

bool IsSafePathComponent(const std::string& component) {
  if (component.empty() || component == "." || component == "..") return false;
  for (char c : component) {
    if (IsForbiddenCharacter(c) || IsSeparator(c)) return false;
  }
  char last = component.back();
  if (last == '.' || last == ' ') return false;
  return !IsDeviceName(component);
}

}  // namespace corvane
