#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/patch_job.h"
#include "engine/progress_view.h"

// A progress bar's setting: its range from 0, and its position.
struct BarFill {
  std::int32_t pos = 0;
  std::int32_t range = 0;
};

// What the window's two bars and four text places say of the worker's progress. While a
// stage fetches files, several arrive at once: the first bar and its texts follow the stage's
// bytes, the second the files installed of those to fetch.
struct StatusLines {
  std::string item;          // the file last taken up, above the first bar
  std::string itemFigures;   // beside it: bytes done of all, and their speed
  std::string stage;         // the stage's caption, above the second bar
  std::string stageFigures;  // beside it: files done of all and the time left, or a share
  BarFill itemBar;           // the stage's bytes in per mille, while their total is known
  BarFill stageBar;          // the stage's items
};

// Turns the polls of one job into the lines.
class StatusTexts {
 public:
  using Clock = ProgressViewer::Clock;
  // The bar's range in bytes would pass the control's 32 bits: it counts per mille.
  static constexpr std::int32_t kBarRange = 1000;

  StatusLines Lines(const PatchSnapshot& seen, Clock::time_point now);

 private:
  ProgressViewer viewer_;
};

// "45%" of pos in range, 0% to 100%; empty while the range is not known.
std::string Percentage(std::int64_t pos, std::int64_t range);
