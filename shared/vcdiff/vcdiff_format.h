// The VCDIFF delta format (RFC 3284) as both ends of the codec see it: the
// magic and indicator bits, the default instruction code table, the address
// cache and the variable-length integers. Only the default code table exists
// here: patches with a table of their own are refused by the decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

constexpr uint8_t kVcdiffMagic[4] = {0xD6, 0xC3, 0xC4, 0x00};

// Header indicator.
constexpr uint8_t kVcdDecompress = 0x01;  // secondary compressor named
constexpr uint8_t kVcdCodeTable = 0x02;   // custom code table follows
constexpr uint8_t kVcdAppHeader = 0x04;   // application data (xdelta3: file names)

// Window indicator.
constexpr uint8_t kVcdSource = 0x01;   // COPYs may read a segment of the source file
constexpr uint8_t kVcdTarget = 0x02;   // ... or of the output decoded so far
constexpr uint8_t kVcdAdler32 = 0x04;  // xdelta3: Adler-32 of the decoded window

enum class VcdiffOp : uint8_t { kNoop = 0, kAdd = 1, kRun = 2, kCopy = 3 };

// Address modes of the default cache: SELF, HERE, four "near", three "same".
constexpr int kVcdiffNearSlots = 4;
constexpr int kVcdiffSameSlots = 3;
constexpr int kVcdiffModes = 2 + kVcdiffNearSlots + kVcdiffSameSlots;
constexpr int kVcdiffModeSelf = 0;
constexpr int kVcdiffModeHere = 1;

struct VcdiffHalf {
  VcdiffOp op = VcdiffOp::kNoop;
  uint8_t size = 0;  // 0: the size follows the code as an integer
  uint8_t mode = 0;  // COPY only
};

struct VcdiffCode {
  VcdiffHalf first, second;
};

// The 256 entries of RFC 3284's default code table (section 5.6).
const VcdiffCode* DefaultVcdiffCodeTable();

// The near and same caches of addresses (RFC 3284 section 5.1), reset at
// the start of every window and updated after every COPY by both ends.
class VcdiffAddressCache {
 public:
  VcdiffAddressCache() { Reset(); }
  void Reset();
  void Update(uint64_t address);
  uint64_t Near(int slot) const { return near_[slot]; }
  uint64_t Same(size_t index) const { return same_[index]; }

 private:
  uint64_t near_[kVcdiffNearSlots];
  uint64_t same_[kVcdiffSameSlots * 256];
  int next_near_ = 0;
};

// Base-128 big-endian integers, the high bit set on every byte but the last.
void AppendVcdiffInteger(std::string* out, uint64_t value);
size_t VcdiffIntegerLength(uint64_t value);

}  // namespace corvane
