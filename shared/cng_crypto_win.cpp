#include "shared/cng_crypto_win.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "win32/scoped_handles.h"

namespace corvane {

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// CNG's three handle types are all plain pointers; each has its own closer.
struct AlgorithmTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct KeyTraits {
  using Handle = BCRYPT_KEY_HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::BCryptDestroyKey(h); }
};
struct HashTraits {
  using Handle = BCRYPT_HASH_HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::BCryptDestroyHash(h); }
};
using ScopedAlgorithm = ScopedOwner<AlgorithmTraits>;
using ScopedKey = ScopedOwner<KeyTraits>;
using ScopedHash = ScopedOwner<HashTraits>;

constexpr ULONG kDigestBytes = 32;
constexpr ULONG kCoordinateBytes = 32;
constexpr DWORD kFileChunk = 1 << 16;

ScopedAlgorithm OpenAlgorithm(LPCWSTR name) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!Succeeded(::BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0))) handle = nullptr;
  return ScopedAlgorithm(handle);
}

// Feeds the hash from `read` until it reports the end (0) or a failure (-1).
template <typename Reader>
bool Sha256Of(Reader read, uint8_t digest[kDigestBytes]) {
  ScopedAlgorithm algorithm = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
  if (!algorithm) return false;
  BCRYPT_HASH_HANDLE raw = nullptr;
  if (!Succeeded(::BCryptCreateHash(algorithm.Get(), &raw, nullptr, 0, nullptr, 0, 0))) return false;
  ScopedHash hash(raw);
  for (;;) {
    const uint8_t* data = nullptr;
    const long got = read(&data);
    if (got < 0) return false;
    if (got == 0) break;
    if (!Succeeded(::BCryptHashData(hash.Get(), const_cast<PUCHAR>(data), static_cast<ULONG>(got), 0))) {
      return false;
    }
  }
  return Succeeded(::BCryptFinishHash(hash.Get(), digest, kDigestBytes, 0));
}

bool DigestOf(const std::string& message, uint8_t digest[kDigestBytes]) {
  size_t offset = 0;
  return Sha256Of(
      [&](const uint8_t** data) -> long {
        const size_t n = message.size() - offset < kFileChunk ? message.size() - offset : kFileChunk;
        *data = reinterpret_cast<const uint8_t*>(message.data()) + offset;
        offset += n;
        return static_cast<long>(n);
      },
      digest);
}

// An ECDSA P-256 key from its blob: header, X, Y and, for a private key, d.
ScopedKey ImportKey(BCRYPT_ALG_HANDLE algorithm, LPCWSTR type, ULONG magic, const uint8_t* xy,
                    const uint8_t* d) {
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + kCoordinateBytes * (d ? 3 : 2));
  BCRYPT_ECCKEY_BLOB header{magic, kCoordinateBytes};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, xy, kCoordinateBytes * 2);
  if (d) std::memcpy(blob.data() + sizeof header + kCoordinateBytes * 2, d, kCoordinateBytes);
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!Succeeded(::BCryptImportKeyPair(algorithm, nullptr, type, &key, blob.data(),
                                       static_cast<ULONG>(blob.size()), 0))) {
    key = nullptr;
  }
  SecureZeroMemory(blob.data(), blob.size());
  return ScopedKey(key);
}

}  // namespace

bool CngVerifier::Verify(const P256PublicKey& key, const std::string& message, const P256Signature& signature) {
  uint8_t digest[kDigestBytes];
  if (!DigestOf(message, digest)) return false;
  ScopedAlgorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!algorithm) return false;
  ScopedKey public_key = ImportKey(algorithm.Get(), BCRYPT_ECCPUBLIC_BLOB, BCRYPT_ECDSA_PUBLIC_P256_MAGIC,
                                   key.xy.data(), nullptr);
  if (!public_key) return false;
  P256Signature copy = signature;
  return Succeeded(::BCryptVerifySignature(public_key.Get(), nullptr, digest, kDigestBytes, copy.rs.data(),
                                           static_cast<ULONG>(copy.rs.size()), 0));
}

bool CngP256::Sign(const P256PrivateKey& key, const std::string& message, P256Signature* signature) {
  uint8_t digest[kDigestBytes];
  if (!DigestOf(message, digest)) return false;
  ScopedAlgorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!algorithm) return false;
  ScopedKey private_key = ImportKey(algorithm.Get(), BCRYPT_ECCPRIVATE_BLOB, BCRYPT_ECDSA_PRIVATE_P256_MAGIC,
                                    key.pub.xy.data(), key.d.data());
  if (!private_key) return false;
  ULONG written = 0;
  return Succeeded(::BCryptSignHash(private_key.Get(), nullptr, digest, kDigestBytes, signature->rs.data(),
                                    static_cast<ULONG>(signature->rs.size()), &written, 0)) &&
         written == signature->rs.size();
}

bool CngP256::GenerateKey(P256PrivateKey* key) {
  ScopedAlgorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!algorithm) return false;
  BCRYPT_KEY_HANDLE raw = nullptr;
  if (!Succeeded(::BCryptGenerateKeyPair(algorithm.Get(), &raw, 256, 0))) return false;
  ScopedKey pair(raw);
  if (!Succeeded(::BCryptFinalizeKeyPair(pair.Get(), 0))) return false;
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + kCoordinateBytes * 3);
  ULONG size = 0;
  const bool exported =
      Succeeded(::BCryptExportKey(pair.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(),
                                  static_cast<ULONG>(blob.size()), &size, 0)) &&
      size == blob.size();
  if (exported) {
    BCRYPT_ECCKEY_BLOB header;
    std::memcpy(&header, blob.data(), sizeof header);
    if (header.cbKey == kCoordinateBytes) {
      std::memcpy(key->pub.xy.data(), blob.data() + sizeof header, kCoordinateBytes * 2);
      std::memcpy(key->d.data(), blob.data() + sizeof header + kCoordinateBytes * 2, kCoordinateBytes);
    }
  }
  SecureZeroMemory(blob.data(), blob.size());
  return exported;
}

bool CngRandom::Fill(uint8_t* out, size_t count) {
  return count <= 0xffffffffu &&
         Succeeded(::BCryptGenRandom(nullptr, out, static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

bool Sha256FileHex(const std::string& path, std::string* hex) {
  ScopedFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  std::vector<uint8_t> chunk(kFileChunk);
  uint8_t digest[kDigestBytes];
  const bool ok = Sha256Of(
      [&](const uint8_t** data) -> long {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), chunk.data(), kFileChunk, &got, nullptr)) return -1;
        *data = chunk.data();
        return static_cast<long>(got);
      },
      digest);
  if (!ok) return false;
  static const char kHex[] = "0123456789abcdef";
  hex->clear();
  for (uint8_t b : digest) {
    *hex += kHex[b >> 4];
    *hex += kHex[b & 15];
  }
  return true;
}

}  // namespace corvane
