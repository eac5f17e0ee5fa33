#include "shared/vcdiff/vcdiff_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "shared/vcdiff/vcdiff_format.h"

namespace corvane {

namespace {

// Matches are found through the hash of the kHashBytes bytes at a position;
// shorter ones would not pay for their instruction and address.
constexpr size_t kHashBytes = 8;
// The hash reads this many bytes at a position.
constexpr size_t kLoadBytes = kHashBytes;
// A match that continues where the previous COPY left off costs little (its
// address is near), so a shorter one is worth taking.
constexpr size_t kMinContinuation = 4;
// The source index keeps at most this many positions (a large source is
// sampled every few bytes instead).
constexpr size_t kMaxSourceEntries = size_t{1} << 24;
constexpr size_t kTargetTableBits = 20;
constexpr size_t kMinRun = 8;

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

uint32_t HashAt(const uint8_t* p, unsigned bits) {
  return static_cast<uint32_t>((Load64(p) * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

size_t MatchLength(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t n = 0;
  while (n + 8 <= limit && Load64(a + n) == Load64(b + n)) n += 8;
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// Source positions by hash, two per bucket: the first indexed (files tend
// to keep their order, so an early match is often the aligned one) and the
// last.
class SourceIndex {
 public:
  explicit SourceIndex(ByteSpan source) {
    if (source.size < kLoadBytes) return;
    // Positions are kept in 32 bits.
    const size_t positions = std::min<uint64_t>(source.size - kLoadBytes + 1, UINT32_MAX - 1);
    const size_t step = (positions + kMaxSourceEntries - 1) / kMaxSourceEntries;
    const size_t entries = (positions + step - 1) / step;
    bits_ = 10;
    while ((size_t{1} << bits_) < entries && bits_ < 25) ++bits_;
    table_.assign(size_t{2} << bits_, 0);
    for (size_t p = 0; p < positions; p += step) {
      uint32_t* bucket = &table_[size_t{2} * HashAt(source.data + p, bits_)];
      if (bucket[0] == 0) bucket[0] = static_cast<uint32_t>(p + 1);
      bucket[1] = static_cast<uint32_t>(p + 1);
    }
  }
  bool Empty() const { return table_.empty(); }
  // Two entries, each 0 when nothing was indexed, else position + 1.
  const uint32_t* Lookup(const uint8_t* p) const { return &table_[size_t{2} * HashAt(p, bits_)]; }

 private:
  unsigned bits_ = 0;
  std::vector<uint32_t> table_;
};

struct Instruction {
  VcdiffOp op = VcdiffOp::kNoop;
  size_t size = 0;
  int mode = 0;
};

// Turns instructions into the three sections of one window, pairing
// neighbours into the default table's double codes where one exists.
class WindowWriter {
 public:
  WindowWriter() {
    const VcdiffCode* table = DefaultVcdiffCodeTable();
    std::memset(single_, 0, sizeof single_);
    std::memset(add_copy_, 0, sizeof add_copy_);
    std::memset(copy_add_, 0, sizeof copy_add_);
    for (int code = 0; code < 256; ++code) {
      const VcdiffHalf& a = table[code].first;
      const VcdiffHalf& b = table[code].second;
      if (b.op == VcdiffOp::kNoop) {
        single_[static_cast<int>(a.op)][a.mode][a.size] = static_cast<uint8_t>(code);
      } else if (a.op == VcdiffOp::kAdd) {
        add_copy_[a.size][b.size][b.mode] = static_cast<uint8_t>(code);
      } else {
        copy_add_[a.size][a.mode] = static_cast<uint8_t>(code);
      }
    }
  }

  void Reset(uint64_t segment_size) {
    segment_size_ = segment_size;
    data_.clear();
    inst_.clear();
    addr_.clear();
    cache_.Reset();
    pending_ = Instruction();
  }

  void Add(const uint8_t* bytes, size_t n) {
    if (n == 0) return;
    data_.append(reinterpret_cast<const char*>(bytes), n);
    Push(Instruction{VcdiffOp::kAdd, n, 0});
  }

  void Run(uint8_t byte, size_t n) {
    data_.push_back(static_cast<char>(byte));
    Push(Instruction{VcdiffOp::kRun, n, 0});
  }

  // `address` in the window's address space (source segment, then target);
  // `here` is where the copy's output starts in that space.
  void Copy(uint64_t address, uint64_t here, size_t n) {
    Push(Instruction{VcdiffOp::kCopy, n, EncodeAddress(address, here)});
  }

  void Finish() {
    Flush();
  }

  const std::string& data() const { return data_; }
  const std::string& inst() const { return inst_; }
  const std::string& addr() const { return addr_; }

 private:
  // The cheapest of the nine modes for `address`, written to the address
  // section; the cache follows as the decoder's will.
  int EncodeAddress(uint64_t address, uint64_t here) {
    int best_mode = kVcdiffModeSelf;
    uint64_t best_value = address;
    size_t best_cost = VcdiffIntegerLength(address);
    auto consider = [&](int mode, uint64_t value) {
      const size_t cost = VcdiffIntegerLength(value);
      if (cost < best_cost) {
        best_mode = mode;
        best_value = value;
        best_cost = cost;
      }
    };
    consider(kVcdiffModeHere, here - address);
    for (int slot = 0; slot < kVcdiffNearSlots; ++slot) {
      if (address >= cache_.Near(slot)) consider(2 + slot, address - cache_.Near(slot));
    }
    const size_t same_index = static_cast<size_t>(address % (kVcdiffSameSlots * 256));
    if (best_cost > 1 && cache_.Same(same_index) == address) {
      best_mode = 2 + kVcdiffNearSlots + static_cast<int>(same_index / 256);
      addr_.push_back(static_cast<char>(same_index % 256));
    } else {
      AppendVcdiffInteger(&addr_, best_value);
    }
    cache_.Update(address);
    return best_mode;
  }

  void Push(const Instruction& next) {
    if (pending_.op == VcdiffOp::kAdd && next.op == VcdiffOp::kCopy && pending_.size <= 4 &&
        next.size <= 6) {
      const uint8_t code = add_copy_[pending_.size][next.size][next.mode];
      if (code != 0) {
        inst_.push_back(static_cast<char>(code));
        pending_ = Instruction();
        return;
      }
    }
    if (pending_.op == VcdiffOp::kCopy && next.op == VcdiffOp::kAdd && pending_.size <= 4 &&
        next.size == 1) {
      const uint8_t code = copy_add_[pending_.size][pending_.mode];
      if (code != 0) {
        inst_.push_back(static_cast<char>(code));
        pending_ = Instruction();
        return;
      }
    }
    Flush();
    pending_ = next;
  }

  void Flush() {
    if (pending_.op == VcdiffOp::kNoop) return;
    const int op = static_cast<int>(pending_.op);
    const uint8_t exact = pending_.size <= 18 ? single_[op][pending_.mode][pending_.size] : 0;
    // Code 0 is RUN with its size following, never an exact-size code.
    if (exact != 0) {
      inst_.push_back(static_cast<char>(exact));
    } else {
      inst_.push_back(static_cast<char>(single_[op][pending_.mode][0]));
      AppendVcdiffInteger(&inst_, pending_.size);
    }
    pending_ = Instruction();
  }

  uint64_t segment_size_ = 0;
  std::string data_, inst_, addr_;
  VcdiffAddressCache cache_;
  Instruction pending_;
  // Codes by (op, mode, size), size 0 meaning "size follows"; 0 where the
  // table has none (code 0 is a RUN, which only exists with size 0).
  uint8_t single_[4][kVcdiffModes][19];
  uint8_t add_copy_[5][7][kVcdiffModes];
  uint8_t copy_add_[5][kVcdiffModes];
};

class Encoder {
 public:
  Encoder(ByteSpan source, ByteSpan target) : source_(source), target_(target), index_(source) {
    target_table_.resize(size_t{1} << kTargetTableBits);
  }

  std::string Run();

 private:
  void EncodeWindow(size_t start, size_t length);
  void AppendWindow(size_t start, size_t length);

  ByteSpan source_, target_;
  SourceIndex index_;
  WindowWriter writer_;
  std::vector<uint32_t> target_table_;
  std::string out_;
};

std::string Encoder::Run() {
  out_.assign(reinterpret_cast<const char*>(kVcdiffMagic), 4);
  out_.push_back(0);  // header indicator: nothing optional
  size_t start = 0;
  do {
    const size_t length = std::min(kVcdiffEncoderWindow, target_.size - start);
    EncodeWindow(start, length);
    AppendWindow(start, length);
    start += length;
  } while (start < target_.size);
  return out_;
}

// Greedy matching over the window: at each position the longest of the
// source match under its hash, the continuation of the previous COPY and an
// earlier part of the window itself; a match is also extended backwards
// over the literal bytes before it.
void Encoder::EncodeWindow(size_t start, size_t length) {
  const uint8_t* t = target_.data + start;
  const uint8_t* s = source_.data;
  const uint64_t segment = source_.size;
  writer_.Reset(segment);
  std::fill(target_table_.begin(), target_table_.end(), 0);

  size_t pos = 0;
  size_t literal = 0;            // start of the bytes not yet covered
  // The source offset just after the previous source COPY; at first the
  // window's own offset, as an unchanged file would have it.
  uint64_t continuation = start;
  bool have_continuation = true;

  while (pos < length) {
    const size_t left = length - pos;
    // A run of one byte value.
    size_t run = 1;
    while (run < left && t[pos + run] == t[pos]) ++run;
    if (run >= kMinRun) {
      writer_.Add(t + literal, pos - literal);
      writer_.Run(t[pos], run);
      pos += run;
      literal = pos;
      continue;
    }

    size_t best_length = 0;
    uint64_t best_address = 0;  // in the window's address space
    bool from_source = false;
    auto consider_source = [&](uint64_t at, size_t min_length) {
      if (at >= segment) return;
      const size_t n = MatchLength(s + at, t + pos, std::min<uint64_t>(left, segment - at));
      if (n >= min_length && n > best_length) {
        best_length = n;
        best_address = at;
        from_source = true;
      }
    };
    if (have_continuation) {
      // Where the previous copy left off, and the same place moved past
      // the literal bytes since (bytes changed in place).
      consider_source(continuation, kMinContinuation);
      consider_source(continuation + (pos - literal), kMinContinuation);
    }
    if (left >= kLoadBytes) {
      if (!index_.Empty()) {
        const uint32_t* hits = index_.Lookup(t + pos);
        for (int k = 0; k < 2; ++k) {
          if (hits[k] != 0) consider_source(hits[k] - 1, kHashBytes);
        }
      }
      const uint32_t h = HashAt(t + pos, kTargetTableBits);
      const uint32_t hit = target_table_[h];
      target_table_[h] = static_cast<uint32_t>(pos + 1);
      if (hit != 0) {
        const size_t at = hit - 1;
        // May overlap its own output: the decoder copies byte by byte.
        const size_t n = MatchLength(t + at, t + pos, left);
        if (n >= kHashBytes && n > best_length) {
          best_length = n;
          best_address = segment + at;
          from_source = false;
        }
      }
    }
    if (best_length == 0) {
      ++pos;
      continue;
    }
    // Backwards over the literal bytes that match too, without leaving the
    // part (source or window) the match lies in.
    const uint64_t floor = from_source ? 0 : segment;
    auto byte_at = [&](uint64_t address) {
      return address < segment ? s[address] : t[address - segment];
    };
    while (pos > literal && best_address > floor && byte_at(best_address - 1) == t[pos - 1]) {
      --pos;
      --best_address;
      ++best_length;
    }
    writer_.Add(t + literal, pos - literal);
    writer_.Copy(best_address, segment + pos, best_length);
    if (from_source) {
      continuation = best_address + best_length;
      have_continuation = true;
    }
    // Index a few positions inside the match for later repeats.
    for (size_t k = pos + 1; k + kLoadBytes <= length && k < pos + best_length; k += 16) {
      target_table_[HashAt(t + k, kTargetTableBits)] = static_cast<uint32_t>(k + 1);
    }
    pos += best_length;
    literal = pos;
  }
  writer_.Add(t + literal, pos - literal);
  writer_.Finish();
}

void Encoder::AppendWindow(size_t start, size_t length) {
  const std::string& data = writer_.data();
  const std::string& inst = writer_.inst();
  const std::string& addr = writer_.addr();
  uLong adler = adler32(0L, Z_NULL, 0);
  adler = adler32(adler, target_.data + start, static_cast<uInt>(length));

  out_.push_back(static_cast<char>((source_.size > 0 ? kVcdSource : 0) | kVcdAdler32));
  if (source_.size > 0) {
    AppendVcdiffInteger(&out_, source_.size);
    AppendVcdiffInteger(&out_, 0);
  }
  const size_t delta_length = VcdiffIntegerLength(length) + 1 + VcdiffIntegerLength(data.size()) +
                              VcdiffIntegerLength(inst.size()) + VcdiffIntegerLength(addr.size()) +
                              4 + data.size() + inst.size() + addr.size();
  AppendVcdiffInteger(&out_, delta_length);
  AppendVcdiffInteger(&out_, length);
  out_.push_back(0);  // delta indicator: no section compressed
  AppendVcdiffInteger(&out_, data.size());
  AppendVcdiffInteger(&out_, inst.size());
  AppendVcdiffInteger(&out_, addr.size());
  for (int shift = 24; shift >= 0; shift -= 8) {
    out_.push_back(static_cast<char>((adler >> shift) & 0xFF));
  }
  out_ += data;
  out_ += inst;
  out_ += addr;
}

}  // namespace

std::string EncodeVcdiff(ByteSpan source, ByteSpan target) {
  Encoder encoder(source, target);
  return encoder.Run();
}

}  // namespace corvane
