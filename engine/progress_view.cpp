#include "engine/progress_view.h"

#include <cstdio>
#include <iterator>

ProgressView ProgressViewer::View(const PatchSnapshot& seen) {
  if (!looked_ || seen.stageText != stage_) {
    const bool nothingMoved = seen.bytesDone == 0 && seen.bytesTotal == 0 && seen.stagePos == 0;
    // Even the first look may come after stages that went by unseen.
    const bool left = nothingMoved || (looked_ && seen.itemText == lastItem_);
    leftover_ = left ? seen.itemText : std::string();
    stage_ = seen.stageText;
    looked_ = true;
  }
  if (seen.itemText != leftover_) leftover_.clear();  // the stage's own items have begun
  ProgressView view;
  view.stage = seen.stageText;
  view.stagePos = seen.stagePos;
  view.stageRange = seen.stageRange;
  if (leftover_.empty() && !seen.itemText.empty()) {
    view.item = seen.itemText;
    if (seen.bytesDone != 0 || seen.bytesTotal != 0) {
      view.bytesDone = seen.bytesDone;
      view.bytesTotal = seen.bytesTotal;
    }
    lastItem_ = seen.itemText;
  }
  return view;
}

std::string FormatBytes(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  // 1023.96 KiB would print as "1024.0 KiB": such a value goes up a unit as well.
  while (value >= 1023.95 && unit + 1 < std::size(units)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}
