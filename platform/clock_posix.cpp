#include <chrono>
#include <ctime>
#include <thread>

#include "platform/clock.h"

namespace platform {

std::int64_t SecondsNow() { return static_cast<std::int64_t>(std::time(nullptr)); }

void SleepMilliseconds(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace platform
