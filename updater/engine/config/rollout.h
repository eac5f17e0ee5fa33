// Release control read from the server-side [system] section: staged
// roll-outs, signed configurations that expire, and the announcement of the
// publisher's next key. The designer writes these values, the update check
// obeys them; both take the rules from here.
//
// Staged roll-out: "rollout" is a percentage 1 to 100 (absent or out of
// range: 100, everyone). Below 100 an installation takes the update only
// when its bucket, 0 to 99, is below it. The bucket is the MD5 of the
// installation's identifier, ":" and "rollout_key", its first 32 bits taken
// mod 100: the same installations stay in as the percentage grows, and a new
// key (a new release) draws a fresh share. The identifier is 128 random bits
// in hex, kept in the local [system] "install_id" and made only the first
// time a roll-out needs it.
//
// Expiry: "expires" of a signed configuration, seconds since 1970 (UTC);
// from that second on the configuration is refused.
#pragma once

#include <cstdint>
#include <string>

#include "shared/random_source.h"
#include "updater/engine/config/local_config.h"

namespace corvane {

extern const char kRolloutKey[];     // "rollout", server-side [system]
extern const char kRolloutKeyKey[];  // "rollout_key", server-side [system]
extern const char kInstallIdKey[];   // "install_id", local [system]
extern const char kExpiresKey[];     // "expires", server-side [system]
extern const char kNextKeyKey[];     // "nextkey", server-side [system]
constexpr int kFullRollout = 100;
constexpr int kRolloutBuckets = 100;
constexpr size_t kInstallIdBytes = 16;

// The percentage of a "rollout" value: its leading decimal digits after
// trimming; 100 when there are none or they fall outside 1 to 100.
int RolloutPercentage(const std::string& text);

// 0 to 99, stable for one identifier and key.
int RolloutBucket(const std::string& install_id, const std::string& rollout_key);

bool InRollout(int bucket, int percentage);

// "The update is being rolled out to N% of installations; this one is not
// included yet."
std::string RolloutExclusionLine(int percentage);

// `bytes` random bytes as lower-case hex digits; empty when the source failed.
std::string RandomHex(RandomSource& random, size_t bytes);
// 128 bits from `random` as 32 lower-case hex digits; empty when it failed.
std::string NewInstallId(RandomSource& random);

// The value of "expires": 1 to 18 decimal digits after trimming.
bool ParseExpiry(const std::string& text, uint64_t* expires);

// Expired from the second `expires` names on.
bool IsExpired(uint64_t expires, uint64_t now);

// "YYYY-MM-DD HH:MM:SS UTC".
std::string UtcTimeText(uint64_t seconds);

// After a new local configuration file replaced the old one (a self-update
// that carries it): the installation keeps the identifier it had. Writes
// `install_id` into the new file of `folder` unless it is empty or the file
// has one already.
bool KeepInstallId(const LocalFolder& folder, const std::string& install_id, const std::string& password);

// The identifier in the local file of `folder`; empty when there is none.
std::string ReadInstallId(const LocalFolder& folder, const std::string& password);

}  // namespace corvane
