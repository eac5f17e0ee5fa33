// One event per line in the test host's record files: backslashes, line
// breaks and tabs inside a recorded text are escaped (winrig.py undoes it).
#pragma once

#include <string>

namespace winhost {

inline std::string EscapeRecordText(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

}  // namespace winhost
