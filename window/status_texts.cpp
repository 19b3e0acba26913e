#include "window/status_texts.h"

#include <algorithm>
#include <string_view>

namespace {

// Figures in one text place, two blanks apart.
constexpr std::string_view kGap = "  ";

// "120 of 2000 files": what a player counts while the files come.
std::string FilesFigure(const ProgressView& view) {
  if (view.stageRange <= 0) return {};
  return std::to_string(view.stagePos) + " of " + std::to_string(view.stageRange) +
         (view.stageRange == 1 ? " file" : " files");
}

}  // namespace

std::string Percentage(std::int64_t pos, std::int64_t range) {
  if (range <= 0) return {};
  std::int64_t percent = std::clamp<std::int64_t>(pos, 0, range) * 100 / range;
  return std::to_string(percent) + "%";
}

StatusLines StatusTexts::Lines(const PatchSnapshot& seen, Clock::time_point now) {
  const ProgressView view = viewer_.View(seen, now);
  StatusLines lines;
  lines.item = view.item;
  lines.stage = view.stage;
  lines.stageBar = {view.stagePos, view.stageRange};
  if (view.bytesDone) {
    lines.itemFigures = Spaced({BytesFigure(view), SpeedFigure(view)}, kGap);
    lines.stageFigures = Spaced({FilesFigure(view), TimeLeftFigure(view)}, kGap);
    if (view.bytesTotal && *view.bytesTotal > 0) {
      // In doubles, as bytes times the range may pass 64 bits; full only once all came.
      const double share = static_cast<double>(*view.bytesDone) / *view.bytesTotal;
      lines.itemBar.pos =
          *view.bytesDone >= *view.bytesTotal
              ? kBarRange
              : std::min(kBarRange - 1, static_cast<std::int32_t>(share * kBarRange));
      lines.itemBar.range = kBarRange;
    }
  } else {
    lines.stageFigures = Percentage(view.stagePos, view.stageRange);
  }
  // The boxes keep their texts; why the item failed shows here beside its box.
  if (!seen.failureReason.empty()) {
    lines.item = seen.failureReason;
    lines.itemFigures.clear();
  }
  return lines;
}
