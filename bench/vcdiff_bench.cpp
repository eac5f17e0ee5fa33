// The patch codec as a command, so the benchmark can time it beside xdelta3
// on the same files:
//   vcdiff_bench encode OLD NEW PATCH
//   vcdiff_bench decode OLD PATCH OUT
// Exits non-zero on any failure, with the reason on stderr.
#include <cstdio>
#include <cstring>
#include <string>

#include "shared/vcdiff/vcdiff_decoder.h"
#include "shared/vcdiff/vcdiff_encoder.h"

namespace {

bool ReadAll(const char* path, std::string* out) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char buffer[1 << 16];
  size_t n;
  out->clear();
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out->append(buffer, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

class FileSink : public corvane::VcdiffSink {
 public:
  explicit FileSink(std::FILE* f) : f_(f) {}
  bool Write(const uint8_t* data, size_t size) override {
    return std::fwrite(data, 1, size, f_) == size;
  }

 private:
  std::FILE* f_;
};

corvane::ByteSpan Span(const std::string& s) {
  return corvane::ByteSpan{reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || (std::strcmp(argv[1], "encode") != 0 && std::strcmp(argv[1], "decode") != 0)) {
    std::fprintf(stderr, "usage: vcdiff_bench encode OLD NEW PATCH | decode OLD PATCH OUT\n");
    return 2;
  }
  std::string source, input;
  if (!ReadAll(argv[2], &source) || !ReadAll(argv[3], &input)) {
    std::fprintf(stderr, "cannot read the input files\n");
    return 1;
  }
  std::FILE* out = std::fopen(argv[4], "wb");
  if (!out) return 1;
  bool ok;
  if (argv[1][0] == 'e') {
    const std::string patch = corvane::EncodeVcdiff(Span(source), Span(input));
    ok = std::fwrite(patch.data(), 1, patch.size(), out) == patch.size();
  } else {
    FileSink sink(out);
    std::string error;
    const corvane::VcdiffLimits limits{uint64_t{1} << 34, size_t{1} << 24};
    ok = corvane::DecodeVcdiff(Span(source), Span(input), limits, sink, &error);
    if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
  }
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
