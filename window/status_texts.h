#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/patch_job.h"
#include "engine/progress_view.h"

// What the window's four text places say of the worker's progress.
struct StatusLines {
  std::string item;          // the file being worked on, above the first bar
  std::string itemFigures;   // beside it: its share done and, while it downloads, the speed
  std::string stage;         // the stage's caption, above the second bar
  std::string stageFigures;  // beside it: the stage's share done
};

// Turns the polls of one job into the lines; the speed is measured between polls.
class StatusTexts {
 public:
  using Clock = std::chrono::steady_clock;
  StatusLines Lines(const PatchSnapshot& seen, Clock::time_point now);

 private:
  std::string SpeedOf(const ProgressView& view, Clock::time_point now);

  ProgressViewer viewer_;
  std::string measuredItem_;
  std::uint32_t lastBytes_ = 0;
  Clock::time_point lastTime_{};
  double bytesPerSecond_ = 0;
};

// "45%" of pos in range, 0% to 100%; empty while the range is not known.
std::string Percentage(std::int64_t pos, std::int64_t range);
