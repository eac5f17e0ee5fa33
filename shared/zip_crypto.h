// The traditional PKWARE encryption of zip entries: three 32-bit keys stirred
// by the password and by every plain byte, and a 12-byte header in front of
// the entry data whose last byte lets a reader reject a wrong password.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

class ZipCrypto {
 public:
  static constexpr size_t kHeaderSize = 12;

  explicit ZipCrypto(const std::string& password);

  void Decrypt(unsigned char* data, size_t size);
  void Encrypt(unsigned char* data, size_t size);

  // Decrypts the 12-byte header in place and compares its last byte with
  // `check_byte`: the high byte of the CRC-32, or of the DOS time for entries
  // whose CRC follows the data in a descriptor.
  bool DecryptHeader(unsigned char* header, unsigned char check_byte);

  // Fills `header` with 11 random bytes and the check byte, then encrypts it.
  void MakeHeader(unsigned char* header, unsigned char check_byte);

 private:
  unsigned char KeyStreamByte() const;
  void UpdateKeys(unsigned char plain);

  uint32_t keys_[3];
};

}  // namespace corvane
