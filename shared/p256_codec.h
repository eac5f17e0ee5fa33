// The encodings of signed configuration, all interoperable with OpenSSL:
//
//   signature   "<server file>.sig": the DER ECDSA-Sig-Value (SEQUENCE of the
//               INTEGERs r and s) over SHA-256 of the file's exact bytes, as
//               `openssl dgst -sha256 -sign` writes and `-verify` reads it.
//   public key  the [system] key "publickey" of the local configuration file:
//               base64 of the SubjectPublicKeyInfo DER (id-ecPublicKey,
//               prime256v1, uncompressed point) in one line, which is the
//               body of the PEM `openssl pkey -pubout` writes.
//   private key the publisher's key file beside the project: PEM "EC PRIVATE
//               KEY" (SEC1, with the curve and the public point) as written
//               here and by `openssl ec`; PEM "PRIVATE KEY" (PKCS#8) is read
//               too. Both must carry the public point.
//
// Only P-256 is known here. The arithmetic (signing, verifying, hashing) is
// the platform's: Windows CNG in the programs, OpenSSL in the tests.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corvane {

// The uncompressed point without its 0x04 lead byte: X then Y, 32 bytes each
// (the layout of CNG's ECCPUBLIC_BLOB after its header).
struct P256PublicKey {
  std::array<uint8_t, 64> xy{};
};

struct P256PrivateKey {
  std::array<uint8_t, 32> d{};
  P256PublicKey pub;
};

// r then s, 32 bytes each, big-endian (CNG's signature layout).
struct P256Signature {
  std::array<uint8_t, 64> rs{};
};

// Standard base64 with padding. Decoding skips white space and refuses any
// other character outside the alphabet, misplaced padding and non-zero
// trailing bits.
std::string Base64Encode(const std::string& bytes);
bool Base64Decode(const std::string& text, std::string* bytes);

// DER ECDSA-Sig-Value <-> r || s. Decoding is strict: minimal lengths and
// integers, positive values below 2^256 and nothing after the sequence.
std::string SignatureToDer(const P256Signature& signature);
bool SignatureFromDer(const std::string& der, P256Signature* signature);

// The text of the "publickey" key and back. Decoding takes only a P-256
// SubjectPublicKeyInfo with an uncompressed point.
std::string PublicKeyText(const P256PublicKey& key);
bool PublicKeyFromText(const std::string& text, P256PublicKey* key);

// SEC1 "EC PRIVATE KEY" PEM with the curve and the public point.
std::string PrivateKeyPem(const P256PrivateKey& key);
// Reads SEC1 or PKCS#8 PEM (the first block of either kind in the text).
// False for other curves, encrypted keys, or keys without the public point.
bool PrivateKeyFromPem(const std::string& pem, P256PrivateKey* key);

// The serial of a signed configuration: 1 to 18 decimal digits after
// trimming (so it never overflows), and not 0.
bool ParseSerial(const std::string& text, uint64_t* serial);

}  // namespace corvane
