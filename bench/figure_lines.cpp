#include "bench/figure_lines.h"

#include <cstdio>

void PrintFigureTitle(const std::string& title) {
  std::printf("%s (MB = 10^6 bytes)\n", title.c_str());
  std::fflush(stdout);
}

void PrintCount(const std::string& name, std::int64_t count) {
  std::printf("%s: %lld\n", name.c_str(), static_cast<long long>(count));
  std::fflush(stdout);
}

void PrintSeconds(const std::string& name, double seconds) {
  std::printf("%s: %.3f\n", name.c_str(), seconds);
  std::fflush(stdout);
}

void PrintRate(const std::string& name, std::int64_t bytes, double seconds) {
  if (seconds > 0) {
    std::printf("%s: %.1f\n", name.c_str(), static_cast<double>(bytes) / 1e6 / seconds);
  } else {
    std::printf("%s: -\n", name.c_str());
  }
  std::fflush(stdout);
}
