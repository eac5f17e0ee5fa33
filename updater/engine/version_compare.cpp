#include "updater/engine/version_compare.h"

#include "shared/text_util.h"

namespace corvane {

namespace {

// Takes the part before the first "." off `s` and returns it as a number.
long TakeFirstPart(std::string& s) {
  size_t dot = s.find('.');
  long value = ParseLeadingLong(s.substr(0, dot));
  s = dot == std::string::npos ? std::string() : s.substr(dot + 1);
  return value;
}

}  // namespace

bool CompareVersions(const std::string& server_version, const std::string& local_version) {
  std::string server = server_version;
  std::string local = local_version;
  while (server.find('.') != std::string::npos) {
    long s = TakeFirstPart(server);
    long l = 0;
    if (local.find('.') != std::string::npos) {
      l = TakeFirstPart(local);
    } else {
      l = ParseLeadingLong(local);
      local = "0";
    }
    if (l < s) return true;
    if (s < l) return false;
  }
  long s = ParseLeadingLong(server);
  long l = ParseLeadingLong(local.substr(0, local.find('.')));
  return l < s;
}

}  // namespace corvane
