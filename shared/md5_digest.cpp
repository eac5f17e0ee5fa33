#include "shared/md5_digest.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <new>

#include "shared/text_util.h"

// The compression loop is the whole cost of a digest. It reads only the
// blocks it is handed, so it is kept out of the sanitizers and always
// optimised: otherwise the debug test tree digests its large test files at a
// small fraction of the speed the shipped program has.
#if defined(__clang__)
#define CORVANE_MD5_HOT __attribute__((no_sanitize("address", "undefined")))
#elif defined(__GNUC__)
#define CORVANE_MD5_HOT __attribute__((optimize("O3"), no_sanitize("address", "undefined")))
#else
#define CORVANE_MD5_HOT
#endif

namespace corvane {
namespace {

// Large reads keep the per-call overhead of the C runtime (and of Wine's file
// layer) out of the digest; the block loop then runs straight over the chunk.
constexpr size_t kChunkSize = 64 * 1024;
constexpr size_t kBlockSize = 64;
// One PeekMessage costs tens of microseconds under Wine, so the queue is
// drained only after this much work, not per block.
constexpr auto kDrainInterval = std::chrono::milliseconds(4);

std::atomic<Md5DrainHook> g_drain_hook{nullptr};

#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, x, t, s)         \
  (a) += f((b), (c), (d)) + (x) + (uint32_t)(t); \
  (a) = ((a) << (s)) | ((a) >> (32 - (s)));      \
  (a) += (b);

CORVANE_MD5_HOT void Md5Compress(uint32_t state[4], const unsigned char* p, size_t blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks > 0; --blocks, p += kBlockSize) {
    // Loaded here, not through a helper: the debug tree would not inline one.
    uint32_t x[16];
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(x, p, sizeof x);
#else
    for (int i = 0; i < 16; ++i) {
      x[i] = static_cast<uint32_t>(p[4 * i]) | static_cast<uint32_t>(p[4 * i + 1]) << 8 |
             static_cast<uint32_t>(p[4 * i + 2]) << 16 | static_cast<uint32_t>(p[4 * i + 3]) << 24;
    }
#endif
    const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;

    MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478, 7)
    MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12)
    MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070db, 17)
    MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22)
    MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7)
    MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62a, 12)
    MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613, 17)
    MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501, 22)
    MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8, 7)
    MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12)
    MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17)
    MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22)
    MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122, 7)
    MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12)
    MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17)
    MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22)

    MD5_STEP(MD5_G, a, b, c, d, x[1], 0xf61e2562, 5)
    MD5_STEP(MD5_G, d, a, b, c, x[6], 0xc040b340, 9)
    MD5_STEP(MD5_G, c, d, a, b, x[11], 0x265e5a51, 14)
    MD5_STEP(MD5_G, b, c, d, a, x[0], 0xe9b6c7aa, 20)
    MD5_STEP(MD5_G, a, b, c, d, x[5], 0xd62f105d, 5)
    MD5_STEP(MD5_G, d, a, b, c, x[10], 0x02441453, 9)
    MD5_STEP(MD5_G, c, d, a, b, x[15], 0xd8a1e681, 14)
    MD5_STEP(MD5_G, b, c, d, a, x[4], 0xe7d3fbc8, 20)
    MD5_STEP(MD5_G, a, b, c, d, x[9], 0x21e1cde6, 5)
    MD5_STEP(MD5_G, d, a, b, c, x[14], 0xc33707d6, 9)
    MD5_STEP(MD5_G, c, d, a, b, x[3], 0xf4d50d87, 14)
    MD5_STEP(MD5_G, b, c, d, a, x[8], 0x455a14ed, 20)
    MD5_STEP(MD5_G, a, b, c, d, x[13], 0xa9e3e905, 5)
    MD5_STEP(MD5_G, d, a, b, c, x[2], 0xfcefa3f8, 9)
    MD5_STEP(MD5_G, c, d, a, b, x[7], 0x676f02d9, 14)
    MD5_STEP(MD5_G, b, c, d, a, x[12], 0x8d2a4c8a, 20)

    MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942, 4)
    MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681, 11)
    MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16)
    MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23)
    MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44, 4)
    MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11)
    MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16)
    MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23)
    MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4)
    MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11)
    MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16)
    MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05, 23)
    MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4)
    MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11)
    MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16)
    MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23)

    MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244, 6)
    MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97, 10)
    MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15)
    MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039, 21)
    MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3, 6)
    MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10)
    MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15)
    MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1, 21)
    MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6)
    MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10)
    MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314, 15)
    MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21)
    MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82, 6)
    MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10)
    MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15)
    MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391, 21)

    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

// Calls the drain hook when enough work has passed since the last call.
class DrainPacer {
 public:
  DrainPacer() : hook_(g_drain_hook.load()) { Drain(); }
  void MaybeDrain() {
    if (hook_ && std::chrono::steady_clock::now() >= next_) Drain();
  }

 private:
  void Drain() {
    if (!hook_) return;
    hook_();
    next_ = std::chrono::steady_clock::now() + kDrainInterval;
  }
  Md5DrainHook hook_;
  std::chrono::steady_clock::time_point next_;
};

}  // namespace

void SetMd5DrainHook(Md5DrainHook hook) { g_drain_hook.store(hook); }

Md5Digest::Md5Digest() { Reset(); }

Md5Digest::~Md5Digest() = default;

void Md5Digest::Close() { file_.reset(); }

void Md5Digest::RecordError(const std::string& text) {
  valid_ = false;
  if (error_text_.empty()) error_text_ = text;
}

void Md5Digest::Reset() {
  Close();
  file_name_.clear();
  std::memset(result_, 0, sizeof result_);
  has_result_ = false;
  valid_ = true;
  if (!chunk_) chunk_.reset(new (std::nothrow) unsigned char[kChunkSize]);
  if (!chunk_) RecordError("The Memory is not enough !");
  byte_count_ = 0;
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
}

void Md5Digest::Compress(const unsigned char* blocks, size_t block_count) {
  Md5Compress(state_, blocks, block_count);
  byte_count_ += static_cast<uint64_t>(block_count) * kBlockSize;
}

void Md5Digest::Finish(const unsigned char* tail, size_t tail_length) {
  unsigned char last[2 * kBlockSize] = {};
  std::memcpy(last, tail, tail_length);
  last[tail_length] = 0x80;
  // The bit length needs the last 8 bytes of a block: a tail of 56 or more
  // bytes spills the length into one more block.
  size_t blocks = tail_length >= kBlockSize - 8 ? 2 : 1;
  uint64_t bits = (byte_count_ + tail_length) * 8;
  unsigned char* length_at = last + blocks * kBlockSize - 8;
  for (int i = 0; i < 8; ++i) length_at[i] = static_cast<unsigned char>(bits >> (8 * i));
  Md5Compress(state_, last, blocks);
  byte_count_ += tail_length;

  static const char kHex[] = "0123456789abcdef";
  for (int word = 0; word < 4; ++word) {
    for (int byte = 0; byte < 4; ++byte) {
      unsigned value = (state_[word] >> (8 * byte)) & 0xff;
      result_[word * 8 + byte * 2] = kHex[value >> 4];
      result_[word * 8 + byte * 2 + 1] = kHex[value & 0xf];
    }
  }
  result_[32] = '\0';
  has_result_ = true;
}

bool Md5Digest::FileDigest(const std::string& path) {
  Reset();
  if (!valid_) return false;
  file_name_ = path;
  if (path.empty()) {
    RecordError("Have not assign a file !");
    return false;
  }
  file_.reset(std::fopen(path.c_str(), "rb"));
  if (!file_) {
    RecordError(Format("Can not open the file [ %s ] !", path.c_str()));
    return false;
  }

  DrainPacer pacer;
  unsigned char* chunk = chunk_.get();
  size_t filled = 0;
  for (;;) {
    size_t got = file_ ? std::fread(chunk + filled, 1, kChunkSize - filled, file_.get()) : 0;
    filled += got;
    size_t whole_blocks = filled / kBlockSize;
    if (whole_blocks > 0) {
      Compress(chunk, whole_blocks);
      size_t used = whole_blocks * kBlockSize;
      std::memmove(chunk, chunk + used, filled - used);
      filled -= used;
    }
    pacer.MaybeDrain();
    if (got == 0) break;
  }
  // A read error (or a stream closed under us) must not pass off the digest
  // of part of the file as the file's digest.
  bool read_failed = !file_ || std::ferror(file_.get());
  Close();
  if (read_failed) {
    RecordError("Have something wrong with MD5!");
    return false;
  }
  Finish(chunk, filled);
  return true;
}

std::string Md5Digest::BytesDigest(const std::string& bytes) {
  Md5Digest digest;
  const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t whole_blocks = bytes.size() / kBlockSize;
  digest.Compress(data, whole_blocks);
  digest.Finish(data + whole_blocks * kBlockSize, bytes.size() - whole_blocks * kBlockSize);
  return digest.HexDigest();
}

std::string Md5Digest::HexDigest() {
  if (!valid_ || !has_result_) {
    RecordError("Have something wrong with MD5!");
    return std::string();
  }
  return std::string(result_, 32);
}

}  // namespace corvane
