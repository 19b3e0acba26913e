#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "engine/progress_view.h"

// The progress as a log, for output that is not a terminal: a line when a stage begins and
// one when an item is done. A run of thousands of small files must stay readable, so within
// a stage an item is told at most once per interval; the stage's last item always is. Each
// item's line carries the stage's transfer figures as they stood when it was told.
class ProgressLog {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kItemInterval{1000};

  // The lines this look adds.
  std::vector<std::string> Look(const ProgressView& view, Clock::time_point now);
  // The lines that end the run: the item that was still being worked on.
  std::vector<std::string> End();

 private:
  std::optional<std::string> stage_;
  std::string item_;
  std::string figures_;
  std::optional<Clock::time_point> lastItemLine_;
};
