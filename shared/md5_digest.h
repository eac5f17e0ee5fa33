// MD5 digest (RFC 1321) of a file's contents as 32 lower-case hex digits.
// The updater verifies every downloaded file with it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace corvane {

// Called now and then while a file is digested, on the digesting thread. On
// Windows it drains that thread's message queue so its windows stay
// responsive during a long digest; elsewhere there is none. Calls are spaced
// by a few milliseconds of work, never once per block.
using Md5DrainHook = void (*)();
void SetMd5DrainHook(Md5DrainHook hook);

class Md5Digest {
 public:
  Md5Digest();
  ~Md5Digest();
  Md5Digest(const Md5Digest&) = delete;
  Md5Digest& operator=(const Md5Digest&) = delete;

  // Resets the state and digests the whole file (opened read-only, binary,
  // never created). False on failure; the first error of the object's life
  // stays in ErrorText().
  bool FileDigest(const std::string& path);

  // The digest of bytes in memory, as 32 lower-case hex digits.
  static std::string BytesDigest(const std::string& bytes);

  // The digest text, or "" (recording "Have something wrong with MD5!")
  // when the object holds no valid digest.
  std::string HexDigest();

  const std::string& ErrorText() const { return error_text_; }
  bool IsValid() const { return valid_; }
  // Message length of the last digest in bytes.
  uint64_t ByteCount() const { return byte_count_; }

  // Closes the file if it is still open.
  void Close();

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };

  void Reset();
  void RecordError(const std::string& text);
  void Compress(const unsigned char* blocks, size_t block_count);
  void Finish(const unsigned char* tail, size_t tail_length);

  std::string file_name_;
  bool valid_ = true;
  bool has_result_ = false;
  uint32_t state_[4] = {};
  // Read buffer; whole 64-byte blocks are compressed straight out of it.
  std::unique_ptr<unsigned char[]> chunk_;
  uint64_t byte_count_ = 0;
  char result_[33] = {};
  std::string error_text_;
  std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace corvane
