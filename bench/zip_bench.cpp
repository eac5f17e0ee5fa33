// Extraction throughput of the archive module: every entry of an archive
// into a folder, as the update stage unpacks an archive item.
//   zip_bench <archive> <folder>
// Prints the entry count, the bytes written and the rate in MB/s (10^6 bytes
// per second of wall time); exits non-zero if any entry fails.
#include <chrono>
#include <cstdio>
#include <ctime>

#include "shared/zip_archive.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zip_bench <archive> <folder>\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpu_start = std::clock();
  corvane::ZipArchive archive;
  if (!archive.Open(argv[1])) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  unsigned long long bytes = 0;
  int count = archive.GetEntryCount();
  for (int i = 0; i < count; ++i) {
    if (!archive.ExtractEntry(i, argv[2], true, corvane::ZipArchive::kDefaultBufferSize)) {
      std::fprintf(stderr, "entry %d (%s) failed\n", i, archive.GetEntryName(i).c_str());
      return 1;
    }
    bytes += archive.GetEntryHeader(i)->uncompressed_size;
  }
  archive.Close();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  std::printf("entries %d bytes %llu seconds %.3f rate %.1f MB/s cpu_seconds %.3f\n", count, bytes, seconds,
              seconds > 0 ? bytes / seconds / 1e6 : 0.0, cpu_seconds);
  return 0;
}
