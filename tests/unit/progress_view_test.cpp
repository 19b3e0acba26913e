#include "engine/progress_view.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = TransferRate::Clock;
constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;
constexpr std::uint64_t kGiB = 1024 * kMiB;

// One look: when, and the stage's bytes done by then.
struct Look {
  std::chrono::milliseconds at;
  std::uint64_t bytes;
};

// Looks every `step` at `perSecond`, from `from` bytes at `start`, for `count` looks.
std::vector<Look> Steady(std::chrono::milliseconds start, std::chrono::milliseconds step,
                         std::uint64_t from, std::uint64_t perSecond, int count) {
  std::vector<Look> looks;
  for (int i = 0; i < count; ++i) {
    looks.push_back({start + step * i, from + perSecond * (step * i).count() / 1000});
  }
  return looks;
}

std::vector<Look> Then(std::vector<Look> first, const std::vector<Look>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

std::optional<std::uint64_t> SpeedAfter(const std::vector<Look>& looks) {
  TransferRate rate;
  std::optional<std::uint64_t> speed;
  for (const Look& look : looks) speed = rate.Look(look.bytes, Clock::time_point{} + look.at);
  return speed;
}

TEST(TransferRateTest, TellsTheLinesSpeedAndNotTheLeapsOfPartsKeptFromBefore) {
  const std::uint64_t line = kMiB;  // bytes per second
  const struct Case {
    const char* what;
    std::vector<Look> looks;
    std::optional<std::uint64_t> low, high;  // none: not measurable
  } cases[] = {
      {"one look", {{0ms, 0}}, std::nullopt, std::nullopt},
      {"looks within a second", Steady(0ms, 500ms, 0, line, 2), std::nullopt, std::nullopt},
      {"the window's polls", Steady(0ms, 500ms, 0, line, 10), line - 1, line},
      {"veldra-cli's polls", Steady(0ms, 100ms, 0, line, 50), line - 1, line},
      {"a fast line", Steady(0ms, 100ms, 0, 100 * line, 50), 100 * line - 1, 100 * line},
      // 8 files resume at the stage's start: 400 MiB kept from the run before arrive at once.
      {"parts counted at the first look",
       Then({{0ms, 0}}, Steady(500ms, 500ms, 400 * kMiB + line / 2, line, 2)), line / 2, line},
      {"a part counted mid-way",
       Then(Steady(0ms, 500ms, 0, line, 6), Steady(3000ms, 500ms, 3 * line + 300 * kMiB, line, 2)),
       line * 9 / 10, line * 11 / 10},
      {"parts counted at two looks in a row",
       Then(Then(Steady(0ms, 500ms, 0, line, 4),
                 Steady(2000ms, 500ms, 2 * line + 90 * kMiB, line, 1)),
            Steady(2500ms, 500ms, 2 * line + 180 * kMiB + line / 2, line, 4)),
       line * 9 / 10, line * 11 / 10},
      // After a long stall the bytes that come again are the line's, at the first look.
      {"a stall that ends",
       Then(Steady(0ms, 500ms, 0, 0, 10), Steady(5000ms, 500ms, 0, 3 * line, 2)), line / 4,
       line / 2},
      {"a stall over the window",
       Then(Steady(0ms, 500ms, 0, line, 4), Steady(2000ms, 500ms, 2 * line, 0, 8)), 0, 0},
      {"a count begun again", Then(Steady(0ms, 500ms, 5 * line, line, 6), {{3000ms, 10}}),
       std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<std::uint64_t> speed = SpeedAfter(c.looks);
    ASSERT_EQ(speed.has_value(), c.low.has_value()) << c.what;
    if (!speed) continue;
    EXPECT_GE(*speed, *c.low) << c.what;
    EXPECT_LE(*speed, *c.high) << c.what;
  }
}

TEST(TransferRateTest, AStallBringsTheSpeedDownStepByStep) {
  TransferRate rate;
  Clock::time_point start{};
  for (const Look& look : Steady(0ms, 500ms, 0, kMiB, 7)) rate.Look(look.bytes, start + look.at);
  std::uint64_t before = kMiB;
  for (auto at = 3500ms; at <= 6000ms; at += 500ms) {
    const std::uint64_t now = rate.Look(3 * kMiB, start + at).value();
    EXPECT_LT(now, before) << at.count();
    before = now;
  }
  EXPECT_EQ(before, 0u);
}

PatchSnapshot Transfer(std::uint64_t done, std::uint64_t total,
                       const std::string& stage = "Downloading game files") {
  PatchSnapshot seen;
  seen.stageText = stage;
  seen.itemText = "data\\a.dat";
  seen.bytesDone = done;
  seen.bytesTotal = total;
  seen.stagePos = 1;
  seen.stageRange = 10;
  seen.state = PatchState::Running;
  return seen;
}

class ProgressViewerTransferTest : public testing::Test {
 protected:
  ProgressView At(std::chrono::milliseconds at, const PatchSnapshot& seen) {
    return viewer.View(seen, start + at);
  }
  ProgressViewer viewer;
  Clock::time_point start{};
};

TEST_F(ProgressViewerTransferTest, TheTimeLeftIsTheRestAtTheSpeed) {
  for (int i = 0; i <= 4; ++i) At(i * 500ms, Transfer(i * kMiB / 2, 6 * kGiB));
  const ProgressView view = At(2500ms, Transfer(5 * kMiB / 2, 6 * kGiB));
  EXPECT_EQ(view.bytesTotal, 6 * kGiB) << "a total past 4 GiB";
  EXPECT_EQ(view.bytesPerSecond, kMiB);
  EXPECT_EQ(view.timeLeft, std::chrono::seconds(6 * 1024 - 2)) << "rounded up";
  EXPECT_EQ(BytesFigure(view), "2.5 MiB/6.0 GiB");
  EXPECT_EQ(SpeedFigure(view), "1.0 MiB/s");
  EXPECT_EQ(TimeLeftFigure(view), "1:42:22 left");
}

TEST_F(ProgressViewerTransferTest, ATotalThatGrowsWhileBytesArriveIsNoTotal) {
  // Each answer adds its own length as it opens: the sum never tells the stage's share.
  At(0ms, Transfer(0, 3 * kMiB));
  EXPECT_EQ(At(500ms, Transfer(kMiB, 3 * kMiB)).bytesTotal, 3 * kMiB);
  EXPECT_EQ(At(1000ms, Transfer(2 * kMiB, 4 * kMiB)).bytesTotal, std::nullopt);
  const ProgressView later = At(1500ms, Transfer(3 * kMiB, 4 * kMiB));
  EXPECT_EQ(later.bytesTotal, std::nullopt) << "not even once it stands still";
  EXPECT_EQ(later.timeLeft, std::nullopt);
  EXPECT_EQ(later.bytesPerSecond, 2 * kMiB);
  EXPECT_EQ(BytesFigure(later), "3.0 MiB");
  // The next stage's total is a total again.
  EXPECT_EQ(At(2000ms, Transfer(kMiB, 8 * kMiB, "Update Patch System")).bytesTotal, 8 * kMiB);
}

TEST_F(ProgressViewerTransferTest, BytesPastTheTotalShowNoTotal) {
  const ProgressView view = At(0ms, Transfer(5 * kMiB, 4 * kMiB));
  EXPECT_EQ(view.bytesDone, 5 * kMiB);
  EXPECT_EQ(view.bytesTotal, std::nullopt);
  EXPECT_EQ(BytesFigure(view), "5.0 MiB");
}

TEST_F(ProgressViewerTransferTest, ANewStageMeasuresAfresh) {
  for (int i = 0; i <= 6; ++i) At(i * 500ms, Transfer(i * kMiB, 100 * kMiB));
  // A stage of the same caption: its counters began again.
  const ProgressView again = At(3500ms, Transfer(kKiB, 10 * kMiB));
  EXPECT_EQ(again.bytesPerSecond, std::nullopt);
  EXPECT_EQ(again.timeLeft, std::nullopt);
  EXPECT_EQ(again.bytesTotal, 10 * kMiB);
  const ProgressView other = At(4000ms, Transfer(2 * kKiB, 10 * kMiB, "Update Patch System"));
  EXPECT_EQ(other.bytesPerSecond, std::nullopt);
  // A stage that moves no bytes has no transfer.
  PatchSnapshot digests = Transfer(0, 0, "Checking Local Files");
  const ProgressView checking = At(5000ms, digests);
  EXPECT_EQ(checking.bytesDone, std::nullopt);
  EXPECT_EQ(BytesFigure(checking), "");
  EXPECT_EQ(SpeedFigure(checking), "");
  EXPECT_EQ(TimeLeftFigure(checking), "");
}

TEST(TimeLeftFigureTest, MinutesAndSecondsOrHours) {
  const struct {
    std::int64_t seconds;
    const char* shown;
  } cases[] = {{1, "0:01 left"},     {59, "0:59 left"},      {600, "10:00 left"},
               {3599, "59:59 left"}, {3600, "1:00:00 left"}, {99 * 3600 + 59, "99:00:59 left"}};
  for (const auto& c : cases) {
    ProgressView view;
    view.timeLeft = std::chrono::seconds(c.seconds);
    EXPECT_EQ(TimeLeftFigure(view), c.shown);
  }
}

TEST(FormatBytesTest, BinaryUnitsWithOneDecimal) {
  EXPECT_EQ(FormatBytes(0), "0 B");
  EXPECT_EQ(FormatBytes(1023), "1023 B");
  EXPECT_EQ(FormatBytes(1024), "1.0 KiB");
  EXPECT_EQ(FormatBytes(1536), "1.5 KiB");
  EXPECT_EQ(FormatBytes(3u << 20), "3.0 MiB");
  EXPECT_EQ(FormatBytes(0xFFFFFFFFu), "4.0 GiB");
  EXPECT_EQ(FormatBytes(5ull << 40), "5.0 TiB");
}

TEST(FormatBytesTest, AValueThatWouldRoundUpTo1024TakesTheNextUnit) {
  EXPECT_EQ(FormatBytes(1024 * 1024 - 1), "1.0 MiB");
  EXPECT_EQ(FormatBytes(1048575ull * 1024), "1.0 GiB");
}

TEST(BytesFigureTest, OneUnitIsSaidOnce) {
  const struct {
    std::optional<std::uint64_t> done, total;
    const char* shown;
  } cases[] = {{std::nullopt, std::nullopt, ""},
               {0, 130 * kMiB, "0 B/130.0 MiB"},
               {300, 900, "300/900 B"},
               {41 * kMiB, std::nullopt, "41.0 MiB"},
               {41 * kMiB, 130 * kMiB, "41.0/130.0 MiB"},
               {912 * kKiB, 1200 * kMiB, "912.0 KiB/1.2 GiB"}};
  for (const auto& c : cases) {
    ProgressView view;
    view.bytesDone = c.done;
    view.bytesTotal = c.total;
    EXPECT_EQ(BytesFigure(view), c.shown);
  }
}

}  // namespace
