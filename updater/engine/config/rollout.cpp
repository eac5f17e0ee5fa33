#include "updater/engine/config/rollout.h"

#include <vector>

#include "shared/ini_store.h"
#include "shared/md5_digest.h"
#include "shared/text_util.h"

namespace corvane {

const char kRolloutKey[] = "rollout";
const char kRolloutKeyKey[] = "rollout_key";
const char kInstallIdKey[] = "install_id";
const char kExpiresKey[] = "expires";
const char kNextKeyKey[] = "nextkey";

namespace {

const char kSystem[] = "system";

// Up to 18 digits never overflow 64 bits.
constexpr size_t kMaxDigits = 18;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int RolloutPercentage(const std::string& text) {
  const std::string trimmed = Trim(text);
  int value = 0;
  size_t digits = 0;
  for (char c : trimmed) {
    if (!IsDigit(c)) break;
    if (++digits > 3) return kFullRollout;  // far beyond 100
    value = value * 10 + (c - '0');
  }
  if (digits == 0 || value < 1 || value > kFullRollout) return kFullRollout;
  return value;
}

int RolloutBucket(const std::string& install_id, const std::string& rollout_key) {
  // The separator keeps ("ab", "c") and ("a", "bc") apart.
  const std::string digest = Md5Digest::BytesDigest(install_id + ":" + rollout_key);
  uint32_t head = 0;
  for (size_t i = 0; i < 8; ++i) {
    const char c = digest[i];
    head = head * 16 + static_cast<uint32_t>(IsDigit(c) ? c - '0' : c - 'a' + 10);
  }
  return static_cast<int>(head % kRolloutBuckets);
}

bool InRollout(int bucket, int percentage) { return bucket < percentage; }

std::string RolloutExclusionLine(int percentage) {
  return "The update is being rolled out to " + std::to_string(percentage) +
         "% of installations; this one is not included yet.";
}

std::string RandomHex(RandomSource& random, size_t count) {
  std::vector<uint8_t> bytes(count);
  if (count == 0 || !random.Fill(bytes.data(), count)) return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : bytes) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

std::string NewInstallId(RandomSource& random) { return RandomHex(random, kInstallIdBytes); }

bool ParseExpiry(const std::string& text, uint64_t* expires) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty() || trimmed.size() > kMaxDigits) return false;
  uint64_t value = 0;
  for (char c : trimmed) {
    if (!IsDigit(c)) return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  *expires = value;
  return true;
}

bool IsExpired(uint64_t expires, uint64_t now) { return now >= expires; }

std::string UtcTimeText(uint64_t seconds) {
  // Days since 1970-01-01 to a civil date (proleptic Gregorian calendar),
  // without the C library's time_t, whose range differs between builds.
  const int64_t days = static_cast<int64_t>(seconds / 86400);
  const int64_t second_of_day = static_cast<int64_t>(seconds % 86400);
  const int64_t z = days + 719468;
  const int64_t era = z / 146097;
  const int64_t day_of_era = z - era * 146097;
  const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * month_index + 2) / 5 + 1;
  const int64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  return Format("%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day),
                static_cast<long long>(second_of_day / 3600), static_cast<long long>(second_of_day / 60 % 60),
                static_cast<long long>(second_of_day % 60));
}

std::string ReadInstallId(const LocalFolder& folder, const std::string& password) {
  IniStore store;
  if (!ReadLocalConfiguration(folder, password, &store).ok) return std::string();
  return Trim(store.GetString(kSystem, kInstallIdKey, ""));
}

bool KeepInstallId(const LocalFolder& folder, const std::string& install_id, const std::string& password) {
  if (install_id.empty()) return true;
  IniStore store;
  const LocalConfigResult local = ReadLocalConfiguration(folder, password, &store);
  if (!local.ok) return false;
  if (!Trim(store.GetString(kSystem, kInstallIdKey, "")).empty()) return true;
  return WriteLocalValue(store, local.form, folder, kSystem, kInstallIdKey, install_id, password);
}

}  // namespace corvane
