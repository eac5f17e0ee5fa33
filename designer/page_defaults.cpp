#include "designer/page_defaults.h"

namespace corvane {

const char kDefaultFtpUser[] = "anonymous";
// Chosen once; projects saved with it carry it, so it never changes.
const char kDefaultFtpPassword[] = "quillfern";

}  // namespace corvane
