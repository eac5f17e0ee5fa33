// The arithmetic of signed configuration behind one narrow door: Windows CNG
// in both programs (shared/cng_crypto_win.h), OpenSSL in the native tests.
// Every message is hashed with SHA-256 before it is signed or verified.
#pragma once

#include <string>

#include "shared/p256_codec.h"

namespace corvane {

// All the updater needs: it never signs, so it links nothing that does.
class P256Verifier {
 public:
  virtual ~P256Verifier() = default;
  // True only for a valid ECDSA P-256 signature by `key` over SHA-256 of
  // `message`.
  virtual bool Verify(const P256PublicKey& key, const std::string& message,
                      const P256Signature& signature) = 0;
};

// The designer's side: signing and making keys as well.
class P256Crypto : public P256Verifier {
 public:
  virtual bool Sign(const P256PrivateKey& key, const std::string& message, P256Signature* signature) = 0;
  // A new key pair from the platform's random source.
  virtual bool GenerateKey(P256PrivateKey* key) = 0;
};

}  // namespace corvane
