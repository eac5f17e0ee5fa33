#include "shared/zip_crypto.h"

#include <chrono>
#include <random>

#include <zlib.h>

namespace corvane {

namespace {

// zlib's table is built at compile time and never changes; asking for it
// costs a call (a static copy of the pointer would cost a thread-safe
// initialisation guard, and with it the POSIX threads layer, in the updater).
uint32_t CrcStep(uint32_t crc, unsigned char byte) {
  return static_cast<uint32_t>(get_crc_table()[(crc ^ byte) & 0xff]) ^ (crc >> 8);
}

}  // namespace

ZipCrypto::ZipCrypto(const std::string& password) {
  keys_[0] = 0x12345678u;
  keys_[1] = 0x23456789u;
  keys_[2] = 0x34567890u;
  for (char c : password) UpdateKeys(static_cast<unsigned char>(c));
}

unsigned char ZipCrypto::KeyStreamByte() const {
  uint32_t temp = (keys_[2] | 2u) & 0xffffu;
  return static_cast<unsigned char>(((temp * (temp ^ 1u)) >> 8) & 0xffu);
}

void ZipCrypto::UpdateKeys(unsigned char plain) {
  keys_[0] = CrcStep(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xffu)) * 134775813u + 1u;
  keys_[2] = CrcStep(keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
}

void ZipCrypto::Decrypt(unsigned char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    unsigned char plain = static_cast<unsigned char>(data[i] ^ KeyStreamByte());
    UpdateKeys(plain);
    data[i] = plain;
  }
}

void ZipCrypto::Encrypt(unsigned char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    unsigned char mask = KeyStreamByte();
    UpdateKeys(data[i]);
    data[i] = static_cast<unsigned char>(data[i] ^ mask);
  }
}

bool ZipCrypto::DecryptHeader(unsigned char* header, unsigned char check_byte) {
  Decrypt(header, kHeaderSize);
  return header[kHeaderSize - 1] == check_byte;
}

void ZipCrypto::MakeHeader(unsigned char* header, unsigned char check_byte) {
  // The random bytes only keep equal plain texts from giving equal cipher
  // texts; a clock seed is an acceptable fallback where no entropy device is.
  uint32_t seed = static_cast<uint32_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
  try {
    std::random_device device;
    seed ^= device();
  } catch (...) {
  }
  std::mt19937 generator(seed);
  for (size_t i = 0; i + 1 < kHeaderSize; ++i) header[i] = static_cast<unsigned char>(generator() & 0xff);
  header[kHeaderSize - 1] = check_byte;
  Encrypt(header, kHeaderSize);
}

}  // namespace corvane
