#include "window/status_texts.h"

#include <algorithm>

namespace {
// Long enough to even out the bursts of a throttled or busy line, short enough to follow it.
constexpr std::chrono::seconds kSpeedWindow{3};
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
  if (view.bytesDone) {
    lines.itemFigures = view.bytesTotal >= *view.bytesDone
                            ? Percentage(static_cast<std::int64_t>(*view.bytesDone),
                                         static_cast<std::int64_t>(view.bytesTotal))
                            : FormatBytes(*view.bytesDone);
    std::string speed = Speed(view, now);
    if (!speed.empty()) lines.itemFigures += "  " + speed;
  } else {
    samples_.clear();  // not a download: no speed, and none carried into the next stage
  }
  // The boxes keep their texts; why the item failed shows here beside its box.
  if (!seen.failureReason.empty()) {
    lines.item = seen.failureReason;
    lines.itemFigures.clear();
  }
  return lines;
}

std::string StatusTexts::Speed(const ProgressView& view, Clock::time_point now) {
  if (view.item != measuredItem_ ||
      (!samples_.empty() && *view.bytesDone < samples_.back().bytes)) {
    measuredItem_ = view.item;
    samples_.clear();
  }
  samples_.push_back({now, *view.bytesDone});
  while (samples_.size() > 2 && now - samples_[1].at >= kSpeedWindow) samples_.pop_front();

  const Sample& first = samples_.front();
  double seconds = std::chrono::duration<double>(now - first.at).count();
  if (seconds <= 0) return {};
  double rate = (samples_.back().bytes - first.bytes) / seconds;
  if (rate < 1) return {};
  return FormatBytes(static_cast<std::uint64_t>(rate)) + "/s";
}
