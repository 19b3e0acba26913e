#include "window/status_texts.h"

#include <algorithm>

namespace {
// Each poll's rate weighs half, so the figure follows a change within a second or two
// without jumping at every poll.
constexpr double kNewRateWeight = 0.5;
}  // namespace

std::string Percentage(std::int64_t pos, std::int64_t range) {
  if (range <= 0) return {};
  std::int64_t percent = std::clamp<std::int64_t>(pos, 0, range) * 100 / range;
  return std::to_string(percent) + "%";
}

StatusLines StatusTexts::Lines(const PatchSnapshot& seen, Clock::time_point now) {
  ProgressView view = viewer_.View(seen);
  StatusLines lines;
  lines.stage = view.stage;
  lines.stageFigures = Percentage(view.stagePos, view.stageRange);
  lines.item = view.item;
  if (view.itemBytes) {
    // The byte counter is unsigned 32 bits; the range is what the server announced.
    std::int64_t range = static_cast<std::uint32_t>(seen.itemRange);
    lines.itemFigures =
        seen.itemRange > 0 ? Percentage(*view.itemBytes, range) : FormatBytes(*view.itemBytes);
    std::string speed = SpeedOf(view, now);
    if (!speed.empty()) lines.itemFigures += "  " + speed;
  }
  return lines;
}

std::string StatusTexts::SpeedOf(const ProgressView& view, Clock::time_point now) {
  std::uint32_t bytes = *view.itemBytes;
  if (view.item != measuredItem_ || bytes < lastBytes_) {
    measuredItem_ = view.item;
    bytesPerSecond_ = 0;
  } else {
    double seconds = std::chrono::duration<double>(now - lastTime_).count();
    if (seconds > 0) {
      double rate = (bytes - lastBytes_) / seconds;
      bytesPerSecond_ = bytesPerSecond_ == 0
                            ? rate
                            : kNewRateWeight * rate + (1 - kNewRateWeight) * bytesPerSecond_;
    }
  }
  lastBytes_ = bytes;
  lastTime_ = now;
  if (bytesPerSecond_ < 1) return {};
  return FormatBytes(static_cast<std::uint64_t>(bytesPerSecond_)) + "/s";
}
