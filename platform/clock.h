#pragma once

#include <cstdint>

namespace platform {

// Seconds since 1970, as the C runtime's 64-bit time.
std::int64_t SecondsNow();

void SleepMilliseconds(unsigned milliseconds);

}  // namespace platform
