// Signing the package's server-side configuration file, for projects that
// ask for it with [project] "sign_config=1".
//
// The publisher's private key lives beside the project as
// "<project name>_private.pem" (SEC1 PEM, readable by `openssl ec`; a
// PKCS#8 key made by OpenSSL is taken too). The first signed build makes it;
// it never goes into the output folder. Each signed build:
//   - raises the serial: the larger of the project's last one + 1 and the
//     current time in seconds (so a project restored from an old copy still
//     goes forward), kept in the project as [project] "sign_serial";
//   - writes it into the server-side file as [system] "serial";
//   - puts [system] "publickey" (base64 SubjectPublicKeyInfo) and "serial"
//     (the first floor the updater accepts) into the local file;
//   - writes "<server file>.sig", the DER ECDSA P-256 signature over SHA-256
//     of the server-side file's bytes, checked against the key before use.
// Before signing it adds "expires" and, during a key replacement, "nextkey"
// to the server-side file (designer/release_control.h).
// An unsigned build removes a ".sig" an earlier signed build left behind.
#pragma once

#include <cstdint>
#include <string>

#include "designer/package_build.h"
#include "shared/p256_crypto.h"

namespace corvane {

extern const char kSignConfigKey[];  // "sign_config" in [project]
extern const char kSignSerialKey[];  // "sign_serial" in [project]
extern const char kKeyReadMessage[];     // "Failed to read the publisher key: " + path
extern const char kKeyCreateMessage[];   // "Failed to create the publisher key: " + path
extern const char kSignFailedMessage[];  // "Failed to sign the server-side configuration file."

// "<folder><name>_private.pem" for "<folder><name>.epj".
std::string PrivateKeyPath(const std::string& project_file);

struct PackageSigning {
  std::string project_file;
  std::string local_file;   // the package's "update.dat"
  std::string server_file;  // the package's server-side file
  uint64_t now = 0;         // seconds since 1970, the serial's lower bound
};

// Does nothing but remove a stale signature when the project does not ask
// for signing. Failures go to `observer.Message`; false stops the build.
bool SignPackage(const PackageSigning& signing, P256Crypto* crypto, PackageBuildObserver& observer);

}  // namespace corvane
