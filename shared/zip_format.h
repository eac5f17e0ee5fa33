// Record layouts and constants of the ZIP container (local file header,
// central directory header, end-of-central-directory record) and the
// little-endian field access the archive module uses for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {
namespace zipfmt {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndOfCentralDirSignature = 0x06054b50;
constexpr uint32_t kDataDescriptorSignature = 0x08074b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndOfCentralDirSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kDataDescriptorSize = 16;  // with its signature
constexpr size_t kMaxCommentSize = 65535;
constexpr size_t kEncryptionHeaderSize = 12;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;

// Version 2.0 is what stored, deflated and traditionally encrypted entries need.
constexpr uint16_t kVersionNeeded = 20;
// Made by an MS-DOS compatible host: the external attributes are DOS attributes.
constexpr uint16_t kVersionMadeByDos = 20;
constexpr uint8_t kHostUnix = 3;

constexpr uint32_t kDosReadOnly = 0x01;
constexpr uint32_t kDosHidden = 0x02;
constexpr uint32_t kDosSystem = 0x04;
constexpr uint32_t kDosDirectory = 0x10;
constexpr uint32_t kDosArchive = 0x20;

// Deflate cannot produce more than 1032 output bytes per input byte (a
// 258-byte match costs at least two bits), so a declared size beyond that is
// a lie and is refused before anything is allocated for it.
constexpr uint64_t kMaxDeflateRatio = 1032;

inline uint16_t Get16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void Put16(std::vector<unsigned char>& out, uint16_t v) {
  out.push_back(static_cast<unsigned char>(v & 0xff));
  out.push_back(static_cast<unsigned char>(v >> 8));
}

inline void Put32(std::vector<unsigned char>& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>((v >> shift) & 0xff));
}

inline void PutBytes(std::vector<unsigned char>& out, const std::string& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace zipfmt
}  // namespace corvane
