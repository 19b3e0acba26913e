#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "engine/patch_job.h"

// What the progress tells of one look at the job.
struct ProgressView {
  std::string stage;
  std::string item;  // empty while the stage has not begun one
  std::int32_t stagePos = 0;
  std::int32_t stageRange = 0;
  // The stage's transfers as a whole, none in a stage that moves no bytes: bytes arrived; of
  // how many, while that is known (see ProgressViewer); their speed once measurable; and the
  // time the rest takes at that speed.
  std::optional<std::uint64_t> bytesDone;
  std::optional<std::uint64_t> bytesTotal;
  std::optional<std::uint64_t> bytesPerSecond;
  std::optional<std::chrono::seconds> timeLeft;
};

// The speed of a stage's transfers over the last few seconds, from the byte counts of
// successive looks. Several files arrive at once, so only the stage's count tells the speed.
// A part kept from before counts as arrived the moment its file is asked for again: a leap
// far beyond what the other looks of the window saw is taken at their speed, not as a
// burst of the line.
class TransferRate {
 public:
  using Clock = std::chrono::steady_clock;
  // Long enough to even out the bursts of a throttled or busy line, short enough to follow it.
  static constexpr std::chrono::milliseconds kWindow{3000};
  // Looks closer together than this tell nothing yet.
  static constexpr std::chrono::milliseconds kShortest{1000};

  // Bytes per second up to this look, once the looks span kShortest. Fewer bytes than before
  // are a count that began again.
  std::optional<std::uint64_t> Look(std::uint64_t bytes, Clock::time_point now);
  void Restart() { samples_.clear(); }

 private:
  struct Sample {
    Clock::time_point at;
    std::uint64_t bytes;
  };
  std::deque<Sample> samples_;
};

// Turns the looks at one job into views. A stage begins with the name of the stage before's
// last item still in the job, so that name is not shown as the new stage's item: it is taken
// for a leftover when nothing has moved yet, or when it is the item seen last before.
// The byte total is given only while it is a total: once it grows while bytes arrive, each
// answer tells only its own length and the sum says nothing of the stage, so the stage shows
// bytes without a total from then on; nor is a total short of the bytes done one.
class ProgressViewer {
 public:
  using Clock = TransferRate::Clock;
  ProgressView View(const PatchSnapshot& seen, Clock::time_point now);

 private:
  void BeginStage(const PatchSnapshot& seen);

  bool looked_ = false;
  std::string stage_;
  std::string leftover_;
  std::string lastItem_;
  std::uint64_t lastDone_ = 0;
  std::uint64_t lastTotal_ = 0;
  bool totalGrew_ = false;
  TransferRate rate_;
};

// The pieces that have something to say, `gap` apart: figures of which some may be empty.
std::string Spaced(std::initializer_list<std::string_view> pieces, std::string_view gap);

// 512 B, 1.5 KiB, 12.0 MiB, 3.2 GiB: binary units, one decimal above bytes.
std::string FormatBytes(std::uint64_t bytes);
// The view's transfer in words, each empty when the view has nothing to say of it:
// "41.2/130.0 MiB", "912.0 KiB/1.2 GiB" or, without a total, "41.2 MiB";
std::string BytesFigure(const ProgressView& view);
// "4.1 MiB/s";
std::string SpeedFigure(const ProgressView& view);
// "0:32 left", "1:05:09 left".
std::string TimeLeftFigure(const ProgressView& view);
