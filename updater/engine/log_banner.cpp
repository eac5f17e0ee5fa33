#include "updater/engine/log_banner.h"

namespace corvane {

void WriteStartBanner(UpdateLog& log, const std::string& version,
                      const std::string (&constants)[kDirectoryConstants]) {
  log.Write("***********************************************************");
  log.Write("********");
  log.Write("********  Corvane update program (current version: V" + version + ")");
  log.Write("****************************************************");
  log.Write("*********************************************************");
  log.Write("Get Directory Constants:");
  for (int i = 0; i < kDirectoryConstants; ++i) {
    log.Write(std::string(kDirectoryConstantNames[i]) + " = " + constants[i]);
  }
}

}  // namespace corvane
