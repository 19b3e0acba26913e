#include <windows.h>

#include <ctime>

#include "platform/clock.h"

namespace platform {

std::int64_t SecondsNow() { return _time64(nullptr); }

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace platform
