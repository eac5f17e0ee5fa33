// Configuration reads that leave a trace: every value the updater uses is
// written to the log as key "=" value when it is read.
#pragma once

#include <string>

#include "shared/ini_store.h"
#include "updater/engine/update_log.h"

namespace corvane {

std::string ReadLoggedString(IniStore& store, UpdateLog& log, const std::string& section,
                             const std::string& key, const std::string& default_value);

int ReadLoggedInt(IniStore& store, UpdateLog& log, const std::string& section,
                  const std::string& key, int default_value);

}  // namespace corvane
