#include "launcher/relaunch.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/prompt.h"

namespace {
constexpr int kCopyTries = 10;
constexpr unsigned kCopyRetryMilliseconds = 1000;
constexpr std::size_t kMessageBufferSize = 1024;

void ShowError(const platform::ProfileReader& config, const char* key, const char* fallback) {
  platform::ShowMessage(config.String("ErrMsg", key, fallback, kMessageBufferSize), "Error",
                        platform::kBoxIconError);
}

bool CopyPatcher() {
  for (int attempt = 0; attempt < kCopyTries; ++attempt) {
    if (platform::CopyFileOver("veldra.exe", "_veldra.exe")) return true;
    platform::SleepMilliseconds(kCopyRetryMilliseconds);
  }
  return false;
}
}  // namespace

bool CopyAndStartPatcher(const LaunchPlan& plan, const platform::ProfileReader& config) {
  if (!CopyPatcher()) {
    ShowError(config, "ErrCopyPatch", "Error copying patch system file!");
    return false;
  }
  if (!platform::StartProcess("_veldra.exe " + plan.copyWords)) {
    ShowError(config, "ErrStartPatch", "Error Starting Patch Client!");
    return false;
  }
  return true;
}
