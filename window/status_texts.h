#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
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

// Turns the polls of one job into the lines. The speed is that of the file being fetched over
// the last few seconds; a file seen at one poll only shows none, since the polls miss the
// bytes of the files that come and go between them.
class StatusTexts {
 public:
  using Clock = std::chrono::steady_clock;
  StatusLines Lines(const PatchSnapshot& seen, Clock::time_point now);

 private:
  struct Sample {
    Clock::time_point at;
    std::uint64_t bytes;
  };
  std::string Speed(const ProgressView& view, Clock::time_point now);

  ProgressViewer viewer_;
  std::string measuredItem_;
  std::deque<Sample> samples_;
};

// "45%" of pos in range, 0% to 100%; empty while the range is not known.
std::string Percentage(std::int64_t pos, std::int64_t range);
