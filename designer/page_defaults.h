// Values every designer page starts a new project with.
#pragma once

namespace corvane {

// The FTP account a new URL entry starts with: the customary anonymous user
// and a fixed password, the same on every page.
extern const char kDefaultFtpUser[];
extern const char kDefaultFtpPassword[];

}  // namespace corvane
