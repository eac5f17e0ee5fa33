// Release control in the package build: staged roll-outs, signatures that
// expire and the replacement of the publisher key (the rules the updater
// follows are in updater/engine/config/rollout.h).
//
// Project keys, [project]:
//   "rollout"          percentage of installations that take the release
//                      (1 to 100, default 100: no roll-out is written);
//   "rollout_key"      the text that draws the share; empty: the items'
//                      versions, so a new release draws a fresh share and a
//                      rebuild at a higher percentage keeps the first ones in;
//   "sign_valid_days"  signed builds write [system] "expires" this many days
//                      after the build (0, the default: no expiry).
// Key replacement: "<project>_next_private.pem" beside the project means a
// replacement is under way; every signed build then signs with the current
// key and announces the next one as [system] "nextkey". Completing it makes
// the next key the current one and keeps the old file as
// "<project>_old_private.pem".
#pragma once

#include <cstdint>
#include <string>

#include "designer/package_build.h"
#include "shared/ini_store.h"
#include "shared/p256_crypto.h"
#include "shared/random_source.h"

namespace corvane {

extern const char kRolloutProjectKey[];     // "rollout"
extern const char kRolloutKeyProjectKey[];  // "rollout_key"
extern const char kSignValidDaysKey[];      // "sign_valid_days"
constexpr int kMaxSignValidDays = 36500;

std::string NextPrivateKeyPath(const std::string& project_file);  // "<project>_next_private.pem"
std::string OldPrivateKeyPath(const std::string& project_file);   // "<project>_old_private.pem"

// The roll-out of every build, signed or not: [system] "rollout" and
// "rollout_key" in the server-side file when the project rolls out to fewer
// than all installations. `random` draws a key for a package without item
// versions. False (after observer.Message) when the file cannot be written.
bool WriteRollout(const std::string& project_file, const std::string& server_file, RandomSource* random,
                  PackageBuildObserver& observer);

// The values a signed build adds to `server` before it is signed: "expires"
// and, during a key replacement, "nextkey". False (after observer.Message)
// when the next key cannot be read or a value cannot be written.
bool WriteSignedReleaseValues(IniStore& project, IniStore& server, const std::string& project_file,
                              uint64_t now, PackageBuildObserver& observer);

// "Replace key": makes the next key. False with `message` saying why (no
// current key yet, a replacement already under way, a file not written);
// true with `message` saying what happens now.
bool StartKeyReplacement(const std::string& project_file, P256Crypto& crypto, std::string* message);

// "Complete key replacement": the current key file becomes the old one, the
// next one the current. Nothing changes when either step cannot be done.
bool CompleteKeyReplacement(const std::string& project_file, std::string* message);

// Whether a replacement is under way (the next key file exists).
bool KeyReplacementUnderWay(const std::string& project_file);

}  // namespace corvane
