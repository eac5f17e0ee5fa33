#include "updater/ui/label_wrap.h"

namespace corvane {

std::vector<std::string> WrapLabelText(const std::string& text, int max_width,
                                       const TextMeasure& measure) {
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      const bool pair = i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n') &&
                        text[i + 1] != c;
      i += pair ? 2 : 1;
      continue;
    }
    std::string candidate = line;
    candidate += c;
    if (line.empty() || measure(candidate) <= max_width) {
      line.swap(candidate);
      ++i;
      continue;
    }
    const size_t blank = line.rfind(' ');
    if (blank != std::string::npos && blank + 1 < line.size()) {
      lines.push_back(line.substr(0, blank));
      line.erase(0, blank + 1);
    } else {
      lines.push_back(line);
      line.clear();
      // A blank at the break would only indent the next line.
      if (c == ' ') ++i;
    }
    // Otherwise the overflowing character is tried again on the new line.
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace corvane
