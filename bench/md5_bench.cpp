// Throughput of Md5Digest on one file: md5_bench <file> [repeats]
// Prints the digest and the best rate of the repeats, in MB/s (10^6 bytes),
// by wall time and by the process's CPU time (user + system). The CPU figure
// is the one to compare on a machine shared with other work.
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shared/md5_digest.h"
#if defined(_WIN32)
#include <windows.h>

#include "shared/md5_drain_win.h"
#endif

namespace {

// Seconds of CPU time used by this process so far.
double ProcessCpuSeconds() {
#if defined(_WIN32)
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto to_seconds = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) * 1e-7;
  };
  return to_seconds(kernel) + to_seconds(user);
#else
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: md5_bench <file> [repeats]\n");
    return 2;
  }
#if defined(_WIN32)
  // Measure what the updater pays: digests drain the message queue.
  corvane::InstallMd5MessageDrain();
#endif
  int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
  if (repeats < 1) repeats = 1;
  double best_seconds = 0;
  double best_cpu_seconds = 0;
  std::string digest;
  unsigned long long bytes = 0;
  for (int i = 0; i < repeats; ++i) {
    corvane::Md5Digest md5;
    double cpu_start = ProcessCpuSeconds();
    auto start = std::chrono::steady_clock::now();
    bool ok = md5.FileDigest(argv[1]);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    double cpu_took = ProcessCpuSeconds() - cpu_start;
    if (!ok) {
      std::fprintf(stderr, "md5_bench: %s\n", md5.ErrorText().c_str());
      return 1;
    }
    digest = md5.HexDigest();
    bytes = md5.ByteCount();
    if (i == 0 || took.count() < best_seconds) best_seconds = took.count();
    if (i == 0 || cpu_took < best_cpu_seconds) best_cpu_seconds = cpu_took;
  }
  double rate = best_seconds > 0 ? bytes / best_seconds / 1e6 : 0;
  double cpu_rate = best_cpu_seconds > 0 ? bytes / best_cpu_seconds / 1e6 : 0;
  std::printf("digest %s bytes %llu seconds %.4f rate %.1f MB/s cpu_seconds %.4f cpu_rate %.1f MB/s\n",
              digest.c_str(), bytes, best_seconds, rate, best_cpu_seconds, cpu_rate);
  return 0;
}
