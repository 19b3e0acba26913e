#include "tools/cli/progress_log.h"

#include "tools/cli/progress_format.h"

std::vector<std::string> ProgressLog::Look(const ProgressView& view, Clock::time_point now) {
  std::vector<std::string> lines;
  if (view.stage.empty()) return lines;  // the worker has not begun
  if (view.stage != stage_) {
    lines = End();
    lines.push_back(StageLine(view.stage));
    stage_ = view.stage;
    item_ = view.item;
    figures_ = TransferFigures(view);
    return lines;
  }
  figures_ = TransferFigures(view);
  if (view.item == item_) return lines;
  if (!item_.empty() && (!lastItemLine_ || now - *lastItemLine_ >= kItemInterval)) {
    lines.push_back(ItemLine(*stage_, item_, figures_));
    lastItemLine_ = now;
  }
  item_ = view.item;
  return lines;
}

std::vector<std::string> ProgressLog::End() {
  std::vector<std::string> lines;
  if (stage_ && !item_.empty()) lines.push_back(ItemLine(*stage_, item_, figures_));
  item_.clear();
  return lines;
}
