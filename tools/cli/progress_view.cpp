#include "tools/cli/progress_view.h"

ProgressView ProgressViewer::View(const PatchSnapshot& seen) {
  if (!looked_ || seen.stageText != stage_) {
    const bool nothingMoved = seen.itemPos == 0 && seen.itemRange == 0 && seen.stagePos == 0;
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
    // Only a download sets the item's counters. The byte counter is 32 bits and wraps past
    // 2 GiB.
    if (seen.itemPos != 0 || seen.itemRange != 0) {
      view.itemBytes = static_cast<std::uint32_t>(seen.itemPos);
    }
    lastItem_ = seen.itemText;
  }
  return view;
}
