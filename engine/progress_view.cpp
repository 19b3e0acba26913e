#include "engine/progress_view.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

namespace {

// A look's leap counts as a part kept from before when it brought more than the window's
// usual speed would in its time and this many seconds beyond, and more than this many bytes:
// a line's own bursts stay well below both.
constexpr double kLeapSeconds = 2;
constexpr std::uint64_t kLeapBytes = 256 * 1024;
// Beyond this the figure says nothing a player can use.
constexpr std::chrono::hours kLongestTimeLeft{100};

double Seconds(TransferRate::Clock::duration span) {
  return std::chrono::duration<double>(span).count();
}

}  // namespace

std::optional<std::uint64_t> TransferRate::Look(std::uint64_t bytes, Clock::time_point now) {
  if (!samples_.empty() && bytes < samples_.back().bytes) samples_.clear();
  if (!samples_.empty() && now <= samples_.back().at) {
    samples_.back().bytes = bytes;  // no time went by: the same look, later bytes
  } else {
    samples_.push_back({now, bytes});
  }
  while (samples_.size() > 2 && now - samples_[1].at >= kWindow) samples_.pop_front();
  if (now - samples_.front().at < kShortest) return std::nullopt;

  // The usual speed: the lower middle of the looks that brought bytes, which one leap, or
  // two among several looks, does not move.
  std::vector<double> speeds;
  for (std::size_t i = 1; i < samples_.size(); ++i) {
    const std::uint64_t brought = samples_[i].bytes - samples_[i - 1].bytes;
    if (brought > 0) speeds.push_back(brought / Seconds(samples_[i].at - samples_[i - 1].at));
  }
  if (speeds.empty()) return 0;  // a stall over the whole window
  std::nth_element(speeds.begin(), speeds.begin() + (speeds.size() - 1) / 2, speeds.end());
  const double usual = speeds[(speeds.size() - 1) / 2];

  double counted = 0;
  for (std::size_t i = 1; i < samples_.size(); ++i) {
    const double brought = static_cast<double>(samples_[i].bytes - samples_[i - 1].bytes);
    const double seconds = Seconds(samples_[i].at - samples_[i - 1].at);
    const bool leap = brought > kLeapBytes && brought > usual * (seconds + kLeapSeconds);
    counted += leap ? usual * seconds : brought;
  }
  return static_cast<std::uint64_t>(counted / Seconds(now - samples_.front().at));
}

void ProgressViewer::BeginStage(const PatchSnapshot& seen) {
  lastDone_ = 0;
  lastTotal_ = 0;
  totalGrew_ = false;
  rate_.Restart();
  stage_ = seen.stageText;
}

ProgressView ProgressViewer::View(const PatchSnapshot& seen, Clock::time_point now) {
  if (!looked_ || seen.stageText != stage_) {
    const bool nothingMoved = seen.bytesDone == 0 && seen.bytesTotal == 0 && seen.stagePos == 0;
    // Once looked at, the leftover is the item seen last; a stage names its file before a
    // byte of it arrives, so that nothing moved yet says nothing. Only the first look, which
    // may come after stages that went by unseen, has no other clue.
    const bool left = looked_ ? seen.itemText == lastItem_ : nothingMoved;
    leftover_ = left ? seen.itemText : std::string();
    BeginStage(seen);
    looked_ = true;
  } else if (seen.bytesDone < lastDone_ || seen.bytesTotal < lastTotal_) {
    BeginStage(seen);  // a stage of the same caption began: its counters started again
  }
  if (seen.itemText != leftover_) leftover_.clear();  // the stage's own items have begun
  ProgressView view;
  view.stage = seen.stageText;
  view.stagePos = seen.stagePos;
  view.stageRange = seen.stageRange;
  if (leftover_.empty() && !seen.itemText.empty()) {
    view.item = seen.itemText;
    lastItem_ = seen.itemText;
  }
  if (seen.bytesTotal > lastTotal_ && lastDone_ > 0) totalGrew_ = true;
  lastDone_ = seen.bytesDone;
  lastTotal_ = seen.bytesTotal;
  if (seen.bytesDone == 0 && seen.bytesTotal == 0) return view;

  view.bytesDone = seen.bytesDone;
  if (!totalGrew_ && seen.bytesTotal >= seen.bytesDone) view.bytesTotal = seen.bytesTotal;
  view.bytesPerSecond = rate_.Look(seen.bytesDone, now);
  const std::uint64_t rest = view.bytesTotal ? *view.bytesTotal - seen.bytesDone : 0;
  if (rest > 0 && view.bytesPerSecond.value_or(0) > 0) {
    const std::chrono::seconds left{(rest + *view.bytesPerSecond - 1) / *view.bytesPerSecond};
    if (left < kLongestTimeLeft) view.timeLeft = left;
  }
  return view;
}

std::string Spaced(std::initializer_list<std::string_view> pieces, std::string_view gap) {
  std::string text;
  for (std::string_view piece : pieces) {
    if (piece.empty()) continue;
    if (!text.empty()) text += gap;
    text += piece;
  }
  return text;
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

std::string BytesFigure(const ProgressView& view) {
  if (!view.bytesDone) return {};
  const std::string done = FormatBytes(*view.bytesDone);
  if (!view.bytesTotal) return done;
  const std::string total = FormatBytes(*view.bytesTotal);
  // One unit said once when both have it: "41.2/130.0 MiB".
  const std::size_t blank = done.rfind(' ');
  if (done.substr(blank) == total.substr(total.rfind(' '))) {
    return done.substr(0, blank) + "/" + total;
  }
  return done + "/" + total;
}

std::string SpeedFigure(const ProgressView& view) {
  return view.bytesPerSecond ? FormatBytes(*view.bytesPerSecond) + "/s" : std::string();
}

std::string TimeLeftFigure(const ProgressView& view) {
  if (!view.timeLeft) return {};
  const long long seconds = view.timeLeft->count();
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld left", seconds / 60, seconds % 60);
  }
  return text;
}
