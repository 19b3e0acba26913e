#include "engine/disk_reserve.h"

#include <algorithm>
#include <optional>

#include "platform/files.h"

namespace {
constexpr std::uint64_t kAskEvery = 8u << 20;
}  // namespace

bool DiskReserve::Fits(std::uint64_t bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  AskDisk();
  return !known_ || bytes <= headroom_;
}

bool DiskReserve::Take(std::uint64_t bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (!asked_ || taken_ >= kAskEvery || bytes > headroom_ - taken_) AskDisk();
  if (!known_) return true;
  if (bytes > headroom_ - taken_) return false;
  taken_ += bytes;
  return true;
}

void DiskReserve::AskDisk() {
  asked_ = true;
  taken_ = 0;
  std::optional<platform::DiskSpace> disk = platform::DiskSpaceOf(".");
  known_ = disk.has_value() && disk->total > 0;
  if (!known_) return;
  reserve_ = std::min(kMost, disk->total / 100);
  headroom_ = disk->available > reserve_ ? disk->available - reserve_ : 0;
}

std::string DiskReserve::TooFullMessage(const std::string& name) const {
  std::lock_guard<std::mutex> hold(mutex_);
  const std::uint64_t mebibytes = (reserve_ + (1u << 20) - 1) >> 20;
  return "The disk of the game folder is too full for " + name + ": the patcher keeps " +
         std::to_string(mebibytes) +
         " MiB of it free. What was written of it has been removed; free some space and run "
         "the patcher again.";
}
