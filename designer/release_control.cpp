#include "designer/release_control.h"

#include <cstdio>
#include <vector>

#include "designer/package_signing.h"
#include "designer/project_files.h"
#include "shared/p256_codec.h"
#include "shared/text_util.h"
#include "shared/zip_file_system.h"
#include "updater/engine/config/rollout.h"

namespace corvane {

const char kRolloutProjectKey[] = "rollout";
const char kRolloutKeyProjectKey[] = "rollout_key";
const char kSignValidDaysKey[] = "sign_valid_days";

namespace {

const char kProjectSection[] = "project";
const char kSystemSection[] = "system";
const char kNoVersion[] = "0.0.0";
constexpr size_t kDrawnKeyBytes = 8;
constexpr uint64_t kSecondsPerDay = 86400;

// "<folder><name>" + suffix for "<folder><name>.epj".
std::string KeyPathWith(const std::string& project_file, const char* suffix) {
  const std::string current = PrivateKeyPath(project_file);
  return current.substr(0, current.size() - std::string("_private.pem").size()) + suffix;
}

bool ReadBytes(const std::string& path, std::string* bytes) {
  std::vector<unsigned char> data;
  if (!zipfs::ReadWholeFile(path, data)) return false;
  bytes->assign(data.begin(), data.end());
  return true;
}

bool ReadKeyFile(const std::string& path, P256PrivateKey* key) {
  std::string pem;
  return ReadBytes(path, &pem) && PrivateKeyFromPem(pem, key);
}

// Renames without ever replacing a file that is there.
bool MoveTo(const std::string& from, const std::string& to) {
  return !zipfs::PathExists(to) && std::rename(from.c_str(), to.c_str()) == 0;
}

// The versions of the items that take part, in section order: what changes
// from one release to the next.
std::string ReleaseVersions(IniStore& server) {
  std::string versions;
  auto add = [&](const std::string& section) {
    const std::string ver = server.GetString(section, "ver", kNoVersion);
    if (ver == kNoVersion || server.GetString(section, "urls", "").empty()) return;
    if (!versions.empty()) versions += "; ";
    versions += section + " " + ver;
  };
  for (int i = 0; i < 20; ++i) add(Format("file%d", i));
  for (int i = 0; i < 10; ++i) add(Format("dir%d", i));
  return versions;
}

}  // namespace

std::string NextPrivateKeyPath(const std::string& project_file) {
  return KeyPathWith(project_file, "_next_private.pem");
}

std::string OldPrivateKeyPath(const std::string& project_file) {
  return KeyPathWith(project_file, "_old_private.pem");
}

bool KeyReplacementUnderWay(const std::string& project_file) {
  return zipfs::PathExists(NextPrivateKeyPath(project_file));
}

bool WriteRollout(const std::string& project_file, const std::string& server_file, RandomSource* random,
                  PackageBuildObserver& observer) {
  IniStore project, server;
  project.SetFileName(project_file);
  server.SetFileName(server_file);
  if (!project.Load()) return true;  // the build's own steps report an unreadable project
  const int percentage = RolloutPercentage(project.GetString(kProjectSection, kRolloutProjectKey, ""));
  if (percentage >= kFullRollout) return true;
  if (!server.Load()) {
    observer.Message(kCreateServerFileMessage + server_file);
    return false;
  }
  std::string key = Trim(project.GetString(kProjectSection, kRolloutKeyProjectKey, ""));
  if (key.empty()) key = ReleaseVersions(server);
  if (key.empty() && random) key = RandomHex(*random, kDrawnKeyBytes);
  observer.Step("Rolling out to " + std::to_string(percentage) + "% of installations, key \"" + key + "\"");
  if (!server.SetString(kSystemSection, kRolloutKey, std::to_string(percentage)) ||
      !server.SetString(kSystemSection, kRolloutKeyKey, key)) {
    observer.Message(kCreateServerFileMessage + server_file);
    return false;
  }
  return true;
}

bool WriteSignedReleaseValues(IniStore& project, IniStore& server, const std::string& project_file,
                              uint64_t now, PackageBuildObserver& observer) {
  int days = ReadProjectInt(project, kProjectSection, kSignValidDaysKey, 0);
  if (days > kMaxSignValidDays) days = kMaxSignValidDays;
  if (days > 0) {
    const uint64_t expires = now + static_cast<uint64_t>(days) * kSecondsPerDay;
    observer.Step("The signature is valid until " + UtcTimeText(expires));
    if (!server.SetString(kSystemSection, kExpiresKey, std::to_string(expires))) {
      observer.Message(kSignFailedMessage);
      return false;
    }
  }
  const std::string next_path = NextPrivateKeyPath(project_file);
  if (!zipfs::PathExists(next_path)) return true;
  P256PrivateKey next;
  if (!ReadKeyFile(next_path, &next)) {
    observer.Message(kKeyReadMessage + next_path);
    return false;
  }
  observer.Step("Announcing the next publisher key " + next_path);
  if (!server.SetString(kSystemSection, kNextKeyKey, PublicKeyText(next.pub))) {
    observer.Message(kSignFailedMessage);
    return false;
  }
  return true;
}

bool StartKeyReplacement(const std::string& project_file, P256Crypto& crypto, std::string* message) {
  const std::string current = PrivateKeyPath(project_file);
  const std::string next = NextPrivateKeyPath(project_file);
  if (!zipfs::PathExists(current)) {
    *message = "There is no publisher key to replace yet: " + current +
               "\nThe first signed build makes it.";
    return false;
  }
  if (zipfs::PathExists(next)) {
    *message = "A key replacement is already under way: " + next;
    return false;
  }
  P256PrivateKey key;
  zipfs::StagedFile out;
  std::string pem;
  if (!crypto.GenerateKey(&key) || (pem = PrivateKeyPem(key), !out.Create(next)) ||
      !out.Write(pem.data(), pem.size()) || !out.Commit()) {
    *message = kKeyCreateMessage + next;
    return false;
  }
  *message = "The next publisher key was made: " + next +
             "\nEvery signed build now signs with the current key and announces this one. Keep it as "
             "safe as the current key. Once the installations have moved to it, press \"Complete key "
             "replacement\".";
  return true;
}

bool CompleteKeyReplacement(const std::string& project_file, std::string* message) {
  const std::string current = PrivateKeyPath(project_file);
  const std::string next = NextPrivateKeyPath(project_file);
  const std::string old = OldPrivateKeyPath(project_file);
  P256PrivateKey key;
  if (!zipfs::PathExists(next)) {
    *message = "No key replacement is under way: " + next + " does not exist.";
    return false;
  }
  if (!ReadKeyFile(next, &key)) {
    *message = kKeyReadMessage + next;
    return false;
  }
  if (zipfs::PathExists(old)) {
    *message = "The key of an earlier replacement is still there: " + old + "\nMove it away first.";
    return false;
  }
  const bool had_current = zipfs::PathExists(current);
  if (had_current && !MoveTo(current, old)) {
    *message = "Failed to complete the key replacement: " + current + " cannot be renamed.";
    return false;
  }
  if (!MoveTo(next, current)) {
    if (had_current) MoveTo(old, current);
    *message = "Failed to complete the key replacement: " + next + " cannot be renamed.";
    return false;
  }
  *message = "The next key is now the publisher key: " + current +
             (had_current ? "\nThe former key was kept as " + old : std::string());
  return true;
}

}  // namespace corvane
