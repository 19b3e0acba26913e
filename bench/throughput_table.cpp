#include "bench/throughput_table.h"

#include <cstdio>

void PrintThroughputHeader(const std::string& title) {
  std::printf("%s (MB = 10^6 bytes)\n", title.c_str());
  std::printf("%-24s %14s %10s %10s\n", "file", "bytes", "seconds", "MB/s");
  std::fflush(stdout);
}

void PrintThroughputRow(const std::string& item, std::int64_t bytes, double seconds) {
  // A clock too coarse for the item shows no rate rather than an infinite one.
  if (seconds > 0) {
    std::printf("%-24s %14lld %10.3f %10.1f\n", item.c_str(), static_cast<long long>(bytes),
                seconds, static_cast<double>(bytes) / 1e6 / seconds);
  } else {
    std::printf("%-24s %14lld %10.3f %10s\n", item.c_str(), static_cast<long long>(bytes), seconds,
                "-");
  }
  std::fflush(stdout);
}

void PrintFailedRow(const std::string& item) {
  std::printf("%-24s %14s\n", item.c_str(), "FAILED");
  std::fflush(stdout);
}
