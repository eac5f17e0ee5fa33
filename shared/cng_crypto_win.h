// SHA-256 and ECDSA P-256 from Windows CNG (bcrypt.dll, delay-loaded from the
// system folder like the other libraries that are not KnownDLLs).
#pragma once

#include <string>

#include "shared/p256_crypto.h"
#include "shared/random_source.h"

namespace corvane {

class CngVerifier : public P256Verifier {
 public:
  bool Verify(const P256PublicKey& key, const std::string& message, const P256Signature& signature) override;
};

class CngP256 : public P256Crypto {
 public:
  bool Verify(const P256PublicKey& key, const std::string& message, const P256Signature& signature) override {
    return CngVerifier().Verify(key, message, signature);
  }
  bool Sign(const P256PrivateKey& key, const std::string& message, P256Signature* signature) override;
  bool GenerateKey(P256PrivateKey* key) override;
};

// The system's preferred random number generator.
class CngRandom : public RandomSource {
 public:
  bool Fill(uint8_t* out, size_t count) override;
};

// SHA-256 of a file's contents as 64 lower-case hexadecimal digits; false
// when the file cannot be read or CNG fails.
bool Sha256FileHex(const std::string& path, std::string* hex);

}  // namespace corvane
