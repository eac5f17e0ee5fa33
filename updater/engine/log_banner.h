// The start banner of a logged run and the directory constants under it.
#pragma once

#include <string>

#include "updater/engine/directory_constants.h"
#include "updater/engine/update_log.h"

namespace corvane {

void WriteStartBanner(UpdateLog& log, const std::string& version,
                      const std::string (&constants)[kDirectoryConstants]);

}  // namespace corvane
