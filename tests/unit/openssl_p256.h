// OpenSSL as the reference for signed configuration: a P256Crypto the native
// tests plug in where the programs use Windows CNG, and conversions between
// our key and signature types and OpenSSL's own objects that go through
// OpenSSL's encoders, never through ours.
#pragma once

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

#include "shared/p256_crypto.h"

namespace corvane {
namespace ossl {

struct PkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

inline std::string Point(const P256PublicKey& key) {
  return std::string(1, '\x04') + std::string(reinterpret_cast<const char*>(key.xy.data()), 64);
}

// An EVP_PKEY from raw values (the private scalar only when `d` is given).
inline Pkey FromRaw(const P256PublicKey& pub, const uint8_t* d) {
  const std::string point = Point(pub);
  OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
  BIGNUM* secret = d ? BN_bin2bn(d, 32, nullptr) : nullptr;
  OSSL_PARAM_BLD_push_utf8_string(build, OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0);
  OSSL_PARAM_BLD_push_octet_string(build, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size());
  if (secret) OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_PRIV_KEY, secret);
  OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(build);
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
  EVP_PKEY* key = nullptr;
  if (EVP_PKEY_fromdata_init(ctx) <= 0 ||
      EVP_PKEY_fromdata(ctx, &key, d ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params) <= 0) {
    key = nullptr;
  }
  EVP_PKEY_CTX_free(ctx);
  OSSL_PARAM_free(params);
  BN_free(secret);
  OSSL_PARAM_BLD_free(build);
  return Pkey(key);
}

// The raw values of an OpenSSL key; false for anything but a P-256 pair.
inline bool ToRaw(EVP_PKEY* key, P256PrivateKey* out) {
  unsigned char point[65];
  size_t point_size = 0;
  BIGNUM* secret = nullptr;
  const bool ok = EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &point_size) &&
                  point_size == 65 && point[0] == 4 &&
                  EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_PRIV_KEY, &secret) &&
                  BN_bn2binpad(secret, out->d.data(), 32) == 32;
  BN_free(secret);
  if (ok) std::copy(point + 1, point + 65, out->pub.xy.begin());
  return ok;
}

inline Pkey Generate() { return Pkey(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256")); }

inline Pkey ReadPrivatePem(const std::string& pem) {
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  return Pkey(key);
}

// PEM as `openssl ec` (traditional SEC1) or `openssl pkey` (PKCS#8) write it.
inline std::string WritePrivatePem(EVP_PKEY* key, bool pkcs8) {
  BIO* bio = BIO_new(BIO_s_mem());
  if (pkcs8) {
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  } else {
    PEM_write_bio_PrivateKey_traditional(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  }
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<size_t>(size));
  BIO_free(bio);
  return pem;
}

// DER SubjectPublicKeyInfo as OpenSSL encodes it.
inline std::string PublicDer(EVP_PKEY* key) {
  unsigned char* der = nullptr;
  const int size = i2d_PUBKEY(key, &der);
  std::string out(reinterpret_cast<char*>(der), size > 0 ? static_cast<size_t>(size) : 0);
  OPENSSL_free(der);
  return out;
}

inline std::string SignDer(EVP_PKEY* key, const std::string& message) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  size_t size = 0;
  std::string der;
  if (EVP_DigestSignInit(ctx, nullptr, EVP_sha256(), nullptr, key) > 0 &&
      EVP_DigestSign(ctx, nullptr, &size, reinterpret_cast<const unsigned char*>(message.data()),
                     message.size()) > 0) {
    der.resize(size);
    if (EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(&der[0]), &size,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) > 0) {
      der.resize(size);
    } else {
      der.clear();
    }
  }
  EVP_MD_CTX_free(ctx);
  return der;
}

inline bool VerifyDer(EVP_PKEY* key, const std::string& message, const std::string& der) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  const bool ok = EVP_DigestVerifyInit(ctx, nullptr, EVP_sha256(), nullptr, key) > 0 &&
                  EVP_DigestVerify(ctx, reinterpret_cast<const unsigned char*>(der.data()), der.size(),
                                   reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  EVP_MD_CTX_free(ctx);
  return ok;
}

// r || s <-> DER through OpenSSL's ECDSA_SIG.
inline std::string RawToDer(const P256Signature& raw) {
  ECDSA_SIG* sig = ECDSA_SIG_new();
  ECDSA_SIG_set0(sig, BN_bin2bn(raw.rs.data(), 32, nullptr), BN_bin2bn(raw.rs.data() + 32, 32, nullptr));
  unsigned char* der = nullptr;
  const int size = i2d_ECDSA_SIG(sig, &der);
  std::string out(reinterpret_cast<char*>(der), size > 0 ? static_cast<size_t>(size) : 0);
  OPENSSL_free(der);
  ECDSA_SIG_free(sig);
  return out;
}

inline bool DerToRaw(const std::string& der, P256Signature* raw) {
  const unsigned char* at = reinterpret_cast<const unsigned char*>(der.data());
  ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(der.size()));
  if (!sig) return false;
  const bool ok = BN_bn2binpad(ECDSA_SIG_get0_r(sig), raw->rs.data(), 32) == 32 &&
                  BN_bn2binpad(ECDSA_SIG_get0_s(sig), raw->rs.data() + 32, 32) == 32;
  ECDSA_SIG_free(sig);
  return ok;
}

class OpenSslP256 : public P256Crypto {
 public:
  bool Verify(const P256PublicKey& key, const std::string& message, const P256Signature& signature) override {
    Pkey pkey = FromRaw(key, nullptr);
    return pkey && VerifyDer(pkey.get(), message, RawToDer(signature));
  }
  bool Sign(const P256PrivateKey& key, const std::string& message, P256Signature* signature) override {
    Pkey pkey = FromRaw(key.pub, key.d.data());
    return pkey && DerToRaw(SignDer(pkey.get(), message), signature);
  }
  bool GenerateKey(P256PrivateKey* key) override {
    Pkey pkey = Generate();
    return pkey && ToRaw(pkey.get(), key);
  }
};

}  // namespace ossl
}  // namespace corvane
