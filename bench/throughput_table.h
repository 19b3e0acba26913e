#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// Seconds since construction, on the monotonic clock.
class Stopwatch {
 public:
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// One row per item and a total, to stdout; MB are 10^6 bytes, as the header says.
void PrintThroughputHeader(const std::string& title);
void PrintThroughputRow(const std::string& item, std::int64_t bytes, double seconds);
void PrintFailedRow(const std::string& item);
