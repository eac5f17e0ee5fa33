#include "shared/md5_digest.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace corvane {
namespace {

namespace fs = std::filesystem;

class Md5TempDir {
 public:
  Md5TempDir() {
    std::string pattern = (fs::temp_directory_path() / "md5_digest_test_XXXXXX").string();
    if (mkdtemp(&pattern[0])) {
      path_ = pattern;
    } else {
      ADD_FAILURE() << "cannot create a temporary folder";
      path_ = (fs::temp_directory_path() / "md5_digest_test_unavailable").string();
    }
  }
  ~Md5TempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Deterministic pseudo-random bytes (xorshift64*), so a failure can be
// reproduced while every size still sees varied data.
void WriteRandomFile(const std::string& path, uint64_t size, uint64_t seed) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  std::vector<unsigned char> buffer(1 << 16);
  while (size > 0) {
    size_t n = size < buffer.size() ? static_cast<size_t>(size) : buffer.size();
    for (size_t i = 0; i < n; i += 8) {
      x ^= x >> 12;
      x ^= x << 25;
      x ^= x >> 27;
      uint64_t v = x * 0x2545F4914F6CDD1Dull;
      for (size_t j = 0; j < 8 && i + j < n; ++j) buffer[i + j] = static_cast<unsigned char>(v >> (8 * j));
    }
    ASSERT_EQ(std::fwrite(buffer.data(), 1, n, f), n);
    size -= n;
  }
  ASSERT_EQ(std::fclose(f), 0);
}

// The reference digests, from the system's md5sum, keyed by file name.
std::map<std::string, std::string> Md5sumOf(const std::string& dir,
                                             const std::vector<std::string>& names) {
  std::string command = "cd '" + dir + "' && md5sum";
  for (const std::string& name : names) command += " '" + name + "'";
  std::map<std::string, std::string> digests;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return digests;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string text(line);
    if (text.size() < 35) continue;
    std::string name = text.substr(34);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    digests[name] = text.substr(0, 32);
  }
  pclose(pipe);
  return digests;
}

std::string DigestOf(const std::string& path) {
  Md5Digest md5;
  EXPECT_TRUE(md5.FileDigest(path)) << md5.ErrorText();
  return md5.HexDigest();
}

TEST(Md5Digest, MatchesMd5sumForEverySmallSize) {
  // 0..130 covers the empty file, 56..63 (two final blocks), exact multiples
  // of 64 (a block of padding only) and two full blocks plus a tail.
  Md5TempDir dir;
  std::vector<std::string> names;
  for (int size = 0; size <= 130; ++size) {
    names.push_back("f" + std::to_string(size));
    WriteRandomFile(dir.File(names.back()), static_cast<uint64_t>(size), static_cast<uint64_t>(size));
  }
  std::map<std::string, std::string> reference = Md5sumOf(dir.Path(), names);
  ASSERT_EQ(reference.size(), names.size());
  EXPECT_EQ(reference["f0"], "d41d8cd98f00b204e9800998ecf8427e");
  Md5Digest reused;
  for (const std::string& name : names) {
    ASSERT_TRUE(reused.FileDigest(dir.File(name)));
    EXPECT_EQ(reused.HexDigest(), reference[name]) << name;
    EXPECT_EQ(reused.ByteCount(), std::stoull(name.substr(1)));
  }
}

TEST(Md5Digest, MatchesMd5sumForLargeFiles) {
  Md5TempDir dir;
  WriteRandomFile(dir.File("one_mib"), 1u << 20, 7);
  WriteRandomFile(dir.File("big"), (64u << 20) + 37, 11);
  std::map<std::string, std::string> reference = Md5sumOf(dir.Path(), {"one_mib", "big"});
  ASSERT_EQ(reference.size(), 2u);
  EXPECT_EQ(DigestOf(dir.File("one_mib")), reference["one_mib"]);
  EXPECT_EQ(DigestOf(dir.File("big")), reference["big"]);
}

TEST(Md5Digest, ErrorsLeaveNoDigestAndTheFirstErrorIsKept) {
  Md5TempDir dir;
  const std::string missing = dir.File("no-such-file.bin");
  Md5Digest md5;
  EXPECT_FALSE(md5.FileDigest(missing));
  EXPECT_FALSE(md5.IsValid());
  EXPECT_EQ(md5.HexDigest(), "");
  EXPECT_EQ(md5.ErrorText(), "Can not open the file [ " + missing + " ] !");
  EXPECT_FALSE(fs::exists(missing));  // reading never creates the file

  // Later errors do not overwrite the first one.
  EXPECT_FALSE(md5.FileDigest(""));
  EXPECT_EQ(md5.ErrorText(), "Can not open the file [ " + missing + " ] !");

  Md5Digest unnamed;
  EXPECT_FALSE(unnamed.FileDigest(""));
  EXPECT_EQ(unnamed.ErrorText(), "Have not assign a file !");
  EXPECT_EQ(unnamed.HexDigest(), "");

  Md5Digest untouched;
  EXPECT_EQ(untouched.HexDigest(), "");
  EXPECT_EQ(untouched.ErrorText(), "Have something wrong with MD5!");

  // After a failure the same object can still digest a good file.
  WriteRandomFile(dir.File("empty"), 0, 1);
  EXPECT_TRUE(md5.FileDigest(dir.File("empty")));
  EXPECT_EQ(md5.HexDigest(), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5Digest, UnreadableFileIsAnErrorNotTheEmptyDigest) {
  // A folder opens on POSIX but every read fails; that must not pass as the
  // digest of an empty file.
  Md5TempDir dir;
  Md5Digest md5;
  EXPECT_FALSE(md5.FileDigest(dir.Path()));
  EXPECT_EQ(md5.HexDigest(), "");
  EXPECT_FALSE(md5.ErrorText().empty());
}

std::atomic<int> g_drain_calls{0};
void CountDrain() { ++g_drain_calls; }

TEST(Md5Digest, DrainHookRunsButNotPerBlock) {
  Md5TempDir dir;
  const uint64_t size = 16u << 20;
  WriteRandomFile(dir.File("drained"), size, 3);
  g_drain_calls = 0;
  SetMd5DrainHook(&CountDrain);
  Md5Digest md5;
  bool ok = md5.FileDigest(dir.File("drained"));
  SetMd5DrainHook(nullptr);
  ASSERT_TRUE(ok);
  EXPECT_GE(g_drain_calls.load(), 1);
  // 262144 blocks: a per-block drain would be ruinous under Wine.
  EXPECT_LT(g_drain_calls.load(), 2000);
}

}  // namespace
}  // namespace corvane
