#include "shared/vcdiff/vcdiff_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "shared/vcdiff/vcdiff_format.h"

namespace corvane {

namespace {

// A cursor over one section of the patch; reads fail instead of passing
// its end.
class Reader {
 public:
  Reader() = default;
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Remaining() const { return size_ - pos_; }

  bool Byte(uint8_t* out) {
    if (pos_ >= size_) return false;
    *out = data_[pos_++];
    return true;
  }

  // At most 64 bits: a tenth byte may add only one, and no continuation
  // past it.
  bool Integer(uint64_t* out) {
    uint64_t value = 0;
    for (int n = 0; n < 10; ++n) {
      uint8_t b;
      if (!Byte(&b)) return false;
      if (value > (UINT64_MAX >> 7)) return false;
      value = (value << 7) | (b & 0x7F);
      if ((b & 0x80) == 0) {
        *out = value;
        return true;
      }
    }
    return false;
  }

  bool Bytes(uint64_t n, const uint8_t** out) {
    if (n > Remaining()) return false;
    *out = data_ + pos_;
    pos_ += static_cast<size_t>(n);
    return true;
  }

  // Splits the next `n` bytes off as a reader of their own.
  bool Sub(uint64_t n, Reader* out) {
    const uint8_t* start;
    if (!Bytes(n, &start)) return false;
    *out = Reader(start, static_cast<size_t>(n));
    return true;
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
};

class Decoder {
 public:
  Decoder(ByteSpan source, const VcdiffLimits& limits, VcdiffSink& sink)
      : source_(source), limits_(limits), sink_(sink) {}

  bool Run(ByteSpan patch, std::string* error);

 private:
  bool Fail(const std::string& why) {
    error_ = why;
    return false;
  }
  bool Header(Reader& in);
  bool Window(Reader& in);
  bool Instructions(Reader& data, Reader& inst, Reader& addr);
  bool Copy(uint64_t address, size_t size);
  bool DecodeAddress(int mode, uint64_t here, Reader& addr, uint64_t* address);

  ByteSpan source_;
  VcdiffLimits limits_;
  VcdiffSink& sink_;
  std::string error_;
  uint64_t output_ = 0;
  unsigned window_number_ = 0;
  // The current window's source segment and decoded target.
  const uint8_t* segment_ = nullptr;
  uint64_t segment_size_ = 0;
  std::vector<uint8_t> target_;
  size_t target_pos_ = 0;
  VcdiffAddressCache cache_;
};

bool Decoder::Run(ByteSpan patch, std::string* error) {
  Reader in(patch.data, patch.size);
  bool ok = Header(in);
  while (ok && in.Remaining() > 0) ok = Window(in);
  if (!ok) *error = error_;
  return ok;
}

bool Decoder::Header(Reader& in) {
  const uint8_t* magic;
  if (!in.Bytes(3, &magic) || std::memcmp(magic, kVcdiffMagic, 3) != 0) {
    return Fail("not a VCDIFF patch");
  }
  uint8_t version, indicator;
  if (!in.Byte(&version) || !in.Byte(&indicator)) return Fail("the patch header is truncated");
  if (version != 0) return Fail("unsupported VCDIFF version " + std::to_string(version));
  if (indicator & kVcdDecompress) return Fail("the patch uses secondary compression");
  if (indicator & kVcdCodeTable) return Fail("the patch uses a code table of its own");
  if (indicator & ~kVcdAppHeader) return Fail("unknown bits in the patch header indicator");
  if (indicator & kVcdAppHeader) {
    uint64_t length;
    const uint8_t* skipped;
    if (!in.Integer(&length) || !in.Bytes(length, &skipped)) {
      return Fail("the application header runs past the end of the patch");
    }
  }
  return true;
}

bool Decoder::Window(Reader& in) {
  const std::string where = "window " + std::to_string(window_number_++) + ": ";
  uint8_t indicator;
  if (!in.Byte(&indicator)) return Fail(where + "truncated");
  if (indicator & kVcdTarget) return Fail(where + "copies from earlier output are not supported");
  if (indicator & ~(kVcdSource | kVcdAdler32)) return Fail(where + "unknown indicator bits");
  segment_ = nullptr;
  segment_size_ = 0;
  if (indicator & kVcdSource) {
    uint64_t size, position;
    if (!in.Integer(&size) || !in.Integer(&position)) return Fail(where + "truncated source segment");
    if (position > source_.size || size > source_.size - position) {
      return Fail(where + "the source segment lies outside the installed file");
    }
    segment_ = source_.data + position;
    segment_size_ = size;
  }
  uint64_t delta_length;
  Reader delta;
  if (!in.Integer(&delta_length) || !in.Sub(delta_length, &delta)) {
    return Fail(where + "the delta encoding runs past the end of the patch");
  }
  uint64_t target_length, data_length, inst_length, addr_length;
  uint8_t delta_indicator;
  if (!delta.Integer(&target_length) || !delta.Byte(&delta_indicator) ||
      !delta.Integer(&data_length) || !delta.Integer(&inst_length) ||
      !delta.Integer(&addr_length)) {
    return Fail(where + "truncated window header");
  }
  if (target_length > limits_.max_window) return Fail(where + "the window is larger than allowed");
  if (target_length > limits_.max_output - output_) {
    return Fail(where + "the output would be larger than allowed");
  }
  if (delta_indicator != 0) return Fail(where + "the sections use secondary compression");
  uint32_t expected_adler = 0;
  if (indicator & kVcdAdler32) {
    const uint8_t* b;
    if (!delta.Bytes(4, &b)) return Fail(where + "truncated checksum");
    expected_adler = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
  }
  // The three sections fill the rest of the delta encoding exactly.
  Reader data, inst, addr;
  if (!delta.Sub(data_length, &data) || !delta.Sub(inst_length, &inst) ||
      !delta.Sub(addr_length, &addr) || delta.Remaining() != 0) {
    return Fail(where + "the section lengths do not match the delta encoding");
  }

  // Within the caps, but the memory may still not be there; no exception
  // leaves the decoder.
  try {
    target_.resize(static_cast<size_t>(target_length));
  } catch (const std::bad_alloc&) {
    return Fail(where + "no memory for the window");
  }
  target_pos_ = 0;
  cache_.Reset();
  if (!Instructions(data, inst, addr)) {
    error_ = where + error_;
    return false;
  }
  if (target_pos_ != target_.size()) return Fail(where + "the instructions end before the window");
  if (data.Remaining() != 0 || addr.Remaining() != 0) {
    return Fail(where + "data or addresses left over after the instructions");
  }
  if (indicator & kVcdAdler32) {
    uLong adler = adler32(0L, Z_NULL, 0);
    // zlib takes the length as uInt: feed large windows in pieces.
    for (size_t done = 0; done < target_.size();) {
      const size_t n = std::min<size_t>(target_.size() - done, 1u << 30);
      adler = adler32(adler, target_.data() + done, static_cast<uInt>(n));
      done += n;
    }
    if (static_cast<uint32_t>(adler) != expected_adler) {
      return Fail(where + "the checksum of the decoded window does not match");
    }
  }
  if (!target_.empty() && !sink_.Write(target_.data(), target_.size())) {
    return Fail(where + "the output cannot be written");
  }
  output_ += target_.size();
  return true;
}

bool Decoder::Instructions(Reader& data, Reader& inst, Reader& addr) {
  const VcdiffCode* table = DefaultVcdiffCodeTable();
  uint8_t code;
  while (inst.Byte(&code)) {
    for (const VcdiffHalf* half : {&table[code].first, &table[code].second}) {
      if (half->op == VcdiffOp::kNoop) continue;
      uint64_t size = half->size;
      if (size == 0 && !inst.Integer(&size)) return Fail("truncated instruction size");
      if (size > target_.size() - target_pos_) return Fail("an instruction runs past the window");
      const size_t n = static_cast<size_t>(size);
      uint8_t* out = target_.data() + target_pos_;
      switch (half->op) {
        case VcdiffOp::kAdd: {
          const uint8_t* bytes;
          if (!data.Bytes(n, &bytes)) return Fail("an ADD runs past the data section");
          if (n != 0) std::memcpy(out, bytes, n);
          break;
        }
        case VcdiffOp::kRun: {
          uint8_t byte;
          if (!data.Byte(&byte)) return Fail("a RUN runs past the data section");
          if (n != 0) std::memset(out, byte, n);
          break;
        }
        default: {
          uint64_t address;
          if (!DecodeAddress(half->mode, segment_size_ + target_pos_, addr, &address)) return false;
          if (!Copy(address, n)) return false;
          break;
        }
      }
      target_pos_ += n;
    }
  }
  return true;
}

bool Decoder::DecodeAddress(int mode, uint64_t here, Reader& addr, uint64_t* address) {
  uint64_t value;
  if (mode >= 2 + kVcdiffNearSlots) {
    uint8_t b;
    if (!addr.Byte(&b)) return Fail("a COPY address runs past the address section");
    *address = cache_.Same(static_cast<size_t>(mode - 2 - kVcdiffNearSlots) * 256 + b);
  } else {
    if (!addr.Integer(&value)) return Fail("a COPY address runs past the address section");
    if (mode == kVcdiffModeSelf) {
      *address = value;
    } else if (mode == kVcdiffModeHere) {
      if (value > here) return Fail("a COPY address lies before the start of the window");
      *address = here - value;
    } else {
      const uint64_t base = cache_.Near(mode - 2);
      if (value > UINT64_MAX - base) return Fail("a COPY address overflows");
      *address = base + value;
    }
  }
  if (*address >= here) return Fail("a COPY address lies at or after the current position");
  cache_.Update(*address);
  return true;
}

// Copies `size` bytes from `address` of the window's source segment followed
// by its target. Where the copy reaches bytes it writes itself, it goes byte
// by byte, so a short pattern repeats as the format defines.
bool Decoder::Copy(uint64_t address, size_t size) {
  if (size == 0) return true;
  uint8_t* out = target_.data() + target_pos_;
  size_t done = 0;
  if (address < segment_size_) {
    const uint64_t available = segment_size_ - address;
    done = available < size ? static_cast<size_t>(available) : size;
    std::memcpy(out, segment_ + address, done);
    address += done;
  }
  if (done == size) return true;
  const size_t from = static_cast<size_t>(address - segment_size_);
  const size_t to = target_pos_ + done;  // from < to: the address was below "here"
  const size_t rest = size - done;
  if (to - from >= rest) {
    std::memcpy(target_.data() + to, target_.data() + from, rest);
  } else {
    for (size_t k = 0; k < rest; ++k) target_[to + k] = target_[from + k];
  }
  return true;
}

class StringSink : public VcdiffSink {
 public:
  explicit StringSink(std::string* out) : out_(out) {}
  bool Write(const uint8_t* data, size_t size) override {
    out_->append(reinterpret_cast<const char*>(data), size);
    return true;
  }

 private:
  std::string* out_;
};

}  // namespace

bool DecodeVcdiff(ByteSpan source, ByteSpan patch, const VcdiffLimits& limits, VcdiffSink& sink,
                  std::string* error) {
  Decoder decoder(source, limits, sink);
  return decoder.Run(patch, error);
}

bool DecodeVcdiffToString(ByteSpan source, ByteSpan patch, const VcdiffLimits& limits,
                          std::string* target, std::string* error) {
  target->clear();
  StringSink sink(target);
  return DecodeVcdiff(source, patch, limits, sink, error);
}

}  // namespace corvane
