// The patch codec as a command, so the benchmark can time it beside xdelta3
// on the same files:
//   vcdiff_bench encode OLD NEW PATCH
//   vcdiff_bench decode OLD PATCH OUT
// Exits non-zero on any failure, with the reason on stderr.
#include <cstdio>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "shared/vcdiff/vcdiff_decoder.h"
#include "shared/vcdiff/vcdiff_encoder.h"

namespace {

// A whole input file. Mapped where the platform allows, as the updater
// maps the installed file; read otherwise.
class Input {
 public:
  ~Input() {
#ifndef _WIN32
    if (mapped_) munmap(mapped_, size_);
#endif
  }
  bool Open(const char* path) {
#ifndef _WIN32
    const int fd = open(path, O_RDONLY);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0) {
      size_ = static_cast<size_t>(st.st_size);
      if (size_ == 0) {
        close(fd);
        return true;
      }
      void* p = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
      close(fd);
      if (p == MAP_FAILED) return false;
      mapped_ = p;
      return true;
    }
    if (fd >= 0) close(fd);
    return false;
#else
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes_.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    size_ = bytes_.size();
    return ok;
#endif
  }
  corvane::ByteSpan Span() const {
    const void* data = mapped_ ? mapped_ : static_cast<const void*>(bytes_.data());
    return corvane::ByteSpan{static_cast<const uint8_t*>(data), size_};
  }

 private:
  void* mapped_ = nullptr;
  std::string bytes_;
  size_t size_ = 0;
};

class FileSink : public corvane::VcdiffSink {
 public:
  explicit FileSink(std::FILE* f) : f_(f) {}
  bool Write(const uint8_t* data, size_t size) override {
    return std::fwrite(data, 1, size, f_) == size;
  }

 private:
  std::FILE* f_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || (std::strcmp(argv[1], "encode") != 0 && std::strcmp(argv[1], "decode") != 0)) {
    std::fprintf(stderr, "usage: vcdiff_bench encode OLD NEW PATCH | decode OLD PATCH OUT\n");
    return 2;
  }
  Input source, input;
  if (!source.Open(argv[2]) || !input.Open(argv[3])) {
    std::fprintf(stderr, "cannot read the input files\n");
    return 1;
  }
  std::FILE* out = std::fopen(argv[4], "wb");
  if (!out) return 1;
  bool ok;
  if (argv[1][0] == 'e') {
    const std::string patch = corvane::EncodeVcdiff(source.Span(), input.Span());
    ok = std::fwrite(patch.data(), 1, patch.size(), out) == patch.size();
  } else {
    FileSink sink(out);
    std::string error;
    const corvane::VcdiffLimits limits{uint64_t{1} << 34, size_t{1} << 24};
    ok = corvane::DecodeVcdiff(source.Span(), input.Span(), limits, sink, &error);
    if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
  }
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
