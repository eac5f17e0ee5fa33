#include "designer/package_signing.h"

#include <vector>

#include "designer/project_files.h"
#include "designer/release_control.h"
#include "shared/ini_store.h"
#include "shared/p256_codec.h"
#include "shared/zip_file_system.h"
#include "updater/engine/config/update_check.h"

namespace corvane {

const char kSignConfigKey[] = "sign_config";
const char kSignSerialKey[] = "sign_serial";
const char kKeyReadMessage[] = "Failed to read the publisher key: ";
const char kKeyCreateMessage[] = "Failed to create the publisher key: ";
const char kSignFailedMessage[] = "Failed to sign the server-side configuration file.";

namespace {

const char kProjectSection[] = "project";
const char kSystemSection[] = "system";

bool ReadBytes(const std::string& path, std::string* bytes) {
  std::vector<unsigned char> data;
  if (!zipfs::ReadWholeFile(path, data)) return false;
  bytes->assign(data.begin(), data.end());
  return true;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  zipfs::StagedFile out;
  return out.Create(path) && out.Write(bytes.data(), bytes.size()) && out.Commit();
}

// The project's key, made on first use. An existing file is never replaced:
// a new key would lock out every installation that trusts the old one.
bool LoadOrCreateKey(const std::string& path, P256Crypto& crypto, PackageBuildObserver& observer,
                     P256PrivateKey* key) {
  if (zipfs::PathExists(path)) {
    std::string pem;
    if (ReadBytes(path, &pem) && PrivateKeyFromPem(pem, key)) return true;
    observer.Message(kKeyReadMessage + path);
    return false;
  }
  observer.Step("Creating the publisher key " + path + " (keep it safe and out of repositories)");
  if (!crypto.GenerateKey(key) || !WriteBytes(path, PrivateKeyPem(*key))) {
    observer.Message(kKeyCreateMessage + path);
    return false;
  }
  return true;
}

uint64_t NextSerial(IniStore& project, uint64_t now) {
  uint64_t last = 0;
  if (!ParseSerial(project.GetString(kProjectSection, kSignSerialKey), &last)) last = 0;
  const uint64_t next = last + 1;
  return next > now ? next : now;
}

}  // namespace

std::string PrivateKeyPath(const std::string& project_file) {
  const size_t separator = project_file.find_last_of("\\/");
  const size_t dot = project_file.rfind('.');
  const bool has_extension = dot != std::string::npos && (separator == std::string::npos || dot > separator);
  return (has_extension ? project_file.substr(0, dot) : project_file) + "_private.pem";
}

bool SignPackage(const PackageSigning& signing, P256Crypto* crypto, PackageBuildObserver& observer) {
  const std::string signature_path = signing.server_file + kSignatureSuffix;
  IniStore project;
  project.SetFileName(signing.project_file);
  if (!project.Load() || ReadProjectInt(project, kProjectSection, kSignConfigKey, 0) == 0) {
    if (zipfs::PathExists(signature_path)) zipfs::RemoveFile(signature_path);
    return true;
  }
  observer.Step("Signing the server-side configuration file");
  const std::string key_path = PrivateKeyPath(signing.project_file);
  P256PrivateKey key;
  if (!crypto) {
    observer.Message(kSignFailedMessage);
    return false;
  }
  if (!LoadOrCreateKey(key_path, *crypto, observer, &key)) return false;

  const std::string serial = std::to_string(NextSerial(project, signing.now));
  IniStore local, server;
  local.SetFileName(signing.local_file);
  server.SetFileName(signing.server_file);
  std::string bytes;
  P256Signature signature;
  // The signature is checked against the public key the package ships, so
  // a key file whose two halves do not belong together fails here and not
  // on every user's machine.
  if (!local.Load() || !server.Load()) {
    observer.Message(kSignFailedMessage);
    return false;
  }
  if (!WriteSignedReleaseValues(project, server, signing.project_file, signing.now, observer)) return false;
  const bool signed_ok = server.SetString(kSystemSection, kSerialKey, serial) &&
                         local.SetString(kSystemSection, kPublicKeyKey, PublicKeyText(key.pub)) &&
                         local.SetString(kSystemSection, kSerialKey, serial) &&
                         ReadBytes(signing.server_file, &bytes) && crypto->Sign(key, bytes, &signature) &&
                         crypto->Verify(key.pub, bytes, signature) &&
                         WriteBytes(signature_path, SignatureToDer(signature));
  if (!signed_ok) {
    observer.Message(kSignFailedMessage);
    return false;
  }
  project.SetString(kProjectSection, kSignSerialKey, serial);
  observer.Step("Signed with serial " + serial + ": " + signature_path);
  return true;
}

}  // namespace corvane
