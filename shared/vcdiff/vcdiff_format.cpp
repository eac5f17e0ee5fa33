#include "shared/vcdiff/vcdiff_format.h"

#include <array>

namespace corvane {

namespace {

using Table = std::array<VcdiffCode, 256>;

constexpr VcdiffHalf Half(VcdiffOp op, int size, int mode) {
  return VcdiffHalf{op, static_cast<uint8_t>(size), static_cast<uint8_t>(mode)};
}

// Built in the order of RFC 3284 section 5.6, so index i is the RFC's entry i.
constexpr Table BuildDefaultTable() {
  Table table{};
  int i = 0;
  table[i++] = VcdiffCode{Half(VcdiffOp::kRun, 0, 0), {}};
  for (int size = 0; size <= 17; ++size) table[i++] = VcdiffCode{Half(VcdiffOp::kAdd, size, 0), {}};
  for (int mode = 0; mode < kVcdiffModes; ++mode) {
    table[i++] = VcdiffCode{Half(VcdiffOp::kCopy, 0, mode), {}};
    for (int size = 4; size <= 18; ++size) {
      table[i++] = VcdiffCode{Half(VcdiffOp::kCopy, size, mode), {}};
    }
  }
  for (int mode = 0; mode < 6; ++mode) {
    for (int add = 1; add <= 4; ++add) {
      for (int copy = 4; copy <= 6; ++copy) {
        table[i++] = VcdiffCode{Half(VcdiffOp::kAdd, add, 0), Half(VcdiffOp::kCopy, copy, mode)};
      }
    }
  }
  for (int mode = 6; mode < kVcdiffModes; ++mode) {
    for (int add = 1; add <= 4; ++add) {
      table[i++] = VcdiffCode{Half(VcdiffOp::kAdd, add, 0), Half(VcdiffOp::kCopy, 4, mode)};
    }
  }
  for (int mode = 0; mode < kVcdiffModes; ++mode) {
    table[i++] = VcdiffCode{Half(VcdiffOp::kCopy, 4, mode), Half(VcdiffOp::kAdd, 1, 0)};
  }
  return table;
}

constexpr Table kDefaultTable = BuildDefaultTable();
static_assert(kDefaultTable[255].first.op == VcdiffOp::kCopy && kDefaultTable[255].first.mode == 8,
              "the default code table has exactly 256 entries");

}  // namespace

const VcdiffCode* DefaultVcdiffCodeTable() { return kDefaultTable.data(); }

void VcdiffAddressCache::Reset() {
  for (uint64_t& a : near_) a = 0;
  for (uint64_t& a : same_) a = 0;
  next_near_ = 0;
}

void VcdiffAddressCache::Update(uint64_t address) {
  near_[next_near_] = address;
  next_near_ = (next_near_ + 1) % kVcdiffNearSlots;
  same_[address % (kVcdiffSameSlots * 256)] = address;
}

void AppendVcdiffInteger(std::string* out, uint64_t value) {
  char bytes[10];
  int n = 0;
  bytes[9 - n++] = static_cast<char>(value & 0x7F);
  value >>= 7;
  while (value != 0) {
    bytes[9 - n++] = static_cast<char>(0x80 | (value & 0x7F));
    value >>= 7;
  }
  out->append(bytes + 10 - n, static_cast<size_t>(n));
}

size_t VcdiffIntegerLength(uint64_t value) {
  size_t n = 1;
  while (value >>= 7) ++n;
  return n;
}

}  // namespace corvane
