#include "updater/engine/config/config_reads.h"

#include "shared/text_util.h"

namespace corvane {

std::string ReadLoggedString(IniStore& store, UpdateLog& log, const std::string& section,
                             const std::string& key, const std::string& default_value) {
  std::string value = store.GetString(section, key, default_value);
  log.Write(key + "=" + value);
  return value;
}

int ReadLoggedInt(IniStore& store, UpdateLog& log, const std::string& section,
                  const std::string& key, int default_value) {
  int value = store.GetInt(section, key, default_value);
  log.Write(key + "=" + Format("%d", value));
  return value;
}

}  // namespace corvane
