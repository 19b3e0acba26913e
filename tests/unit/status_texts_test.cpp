#include "window/status_texts.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(StatusTextsTest, PercentageOfAKnownRangeOnly) {
  struct Case {
    std::int64_t pos, range;
    const char* shown;
  } cases[] = {{0, 0, ""},    {5, -1, ""},      {-1, 10, "0%"},
               {1, 3, "33%"}, {11, 10, "100%"}, {0xFFFFFFFFll, 0xFFFFFFFFll, "100%"}};
  for (const Case& c : cases)
    EXPECT_EQ(Percentage(c.pos, c.range), c.shown) << c.pos << "/" << c.range;
}

constexpr std::uint64_t kMiB = 1 << 20;

PatchSnapshot Download(const std::string& item, std::uint64_t done, std::uint64_t total,
                       std::int32_t filesDone = 120, std::int32_t files = 2000) {
  PatchSnapshot seen;
  seen.stageText = "Downloading game files";
  seen.itemText = item;
  seen.bytesDone = done;
  seen.bytesTotal = total;
  seen.stagePos = filesDone;
  seen.stageRange = files;
  seen.state = PatchState::Running;
  return seen;
}

TEST(StatusTextsTest, TheFirstBarAndItsTextsFollowTheStagesBytesTheSecondItsFiles) {
  StatusTexts texts;
  StatusTexts::Clock::time_point start{};
  StatusLines first = texts.Lines(Download("data\\a.dat", 0, 130 * kMiB, 0), start);
  EXPECT_EQ(first.itemFigures, "0 B/130.0 MiB") << "no speed yet";
  EXPECT_EQ(first.stageFigures, "0 of 2000 files");
  texts.Lines(Download("data\\b.dat", 2 * kMiB, 130 * kMiB, 10), start + 500ms);
  StatusLines lines = texts.Lines(Download("data\\c.dat", 4 * kMiB, 130 * kMiB), start + 1000ms);
  EXPECT_EQ(lines.item, "data\\c.dat");
  EXPECT_EQ(lines.itemFigures, "4.0/130.0 MiB  4.0 MiB/s");
  EXPECT_EQ(lines.stage, "Downloading game files");
  EXPECT_EQ(lines.stageFigures, "120 of 2000 files  0:32 left");
  EXPECT_EQ(lines.itemBar.range, 1000);
  EXPECT_EQ(lines.itemBar.pos, 30);
  EXPECT_EQ(lines.stageBar.pos, 120);
  EXPECT_EQ(lines.stageBar.range, 2000);
}

TEST(StatusTextsTest, TheBytesBarInPerMille) {
  const struct {
    std::uint64_t done, total;
    std::int32_t pos, range;  // range 0: the bar shows nothing
  } cases[] = {
      {0, 100, 0, 1000},
      {999, 1000, 999, 1000},
      {100, 100, 1000, 1000},
      {5ull << 30, 6ull << 30, 833, 1000},        // past 4 GiB
      {(1ull << 62) - 1, 1ull << 62, 999, 1000},  // past what bytes x 1000 holds
      {200, 100, 0, 0},                           // bytes past the total
      {200, 0, 0, 0},                             // no total told
  };
  for (const auto& c : cases) {
    StatusTexts texts;
    const StatusLines lines = texts.Lines(Download("a", c.done, c.total), {});
    EXPECT_EQ(lines.itemBar.pos, c.pos) << c.done << " of " << c.total;
    EXPECT_EQ(lines.itemBar.range, c.range) << c.done << " of " << c.total;
  }
}

TEST(StatusTextsTest, AGrowingTotalLeavesTheBytesBarAndTheTimeLeftOut) {
  StatusTexts texts;
  StatusTexts::Clock::time_point start{};
  texts.Lines(Download("a", kMiB, 3 * kMiB), start);
  texts.Lines(Download("b", 2 * kMiB, 4 * kMiB), start + 500ms);
  const StatusLines lines = texts.Lines(Download("c", 3 * kMiB, 5 * kMiB), start + 1000ms);
  EXPECT_EQ(lines.itemBar.range, 0);
  EXPECT_EQ(lines.itemFigures, "3.0 MiB  2.0 MiB/s");
  EXPECT_EQ(lines.stageFigures, "120 of 2000 files");
}

TEST(StatusTextsTest, AStallBringsTheSpeedDownAndTheTimeLeftUp) {
  StatusTexts texts;
  StatusTexts::Clock::time_point start{};
  for (int i = 0; i <= 6; ++i)
    texts.Lines(Download("a", i * kMiB / 2, 100 * kMiB), start + i * 500ms);
  StatusLines lines = texts.Lines(Download("a", 3 * kMiB, 100 * kMiB), start + 3500ms);
  EXPECT_EQ(lines.itemFigures, "3.0/100.0 MiB  853.3 KiB/s");
  EXPECT_EQ(lines.stageFigures, "120 of 2000 files  1:57 left");
  lines = texts.Lines(Download("a", 3 * kMiB, 100 * kMiB), start + 5000ms);
  EXPECT_EQ(lines.itemFigures, "3.0/100.0 MiB  341.3 KiB/s");
  EXPECT_EQ(lines.stageFigures, "120 of 2000 files  4:52 left");
  lines = texts.Lines(Download("a", 3 * kMiB, 100 * kMiB), start + 6500ms);
  EXPECT_EQ(lines.itemFigures, "3.0/100.0 MiB  0 B/s");
  EXPECT_EQ(lines.stageFigures, "120 of 2000 files");
}

TEST(StatusTextsTest, WorkThatIsNoDownloadShowsNoFigures) {
  StatusTexts texts;
  PatchSnapshot digesting;
  digesting.stageText = "Checking files";
  digesting.itemText = "\\data\\a.dat";
  digesting.stagePos = 3;
  digesting.stageRange = 6;
  StatusLines lines = texts.Lines(digesting, {});
  EXPECT_EQ(lines.item, "\\data\\a.dat");
  EXPECT_EQ(lines.itemFigures, "");
  EXPECT_EQ(lines.stageFigures, "50%");
  EXPECT_EQ(lines.itemBar.range, 0);
  EXPECT_EQ(lines.stageBar.pos, 3);
}

TEST(StatusTextsTest, AFailedItemShowsWhyInTheItemLine) {
  StatusTexts texts;
  PatchSnapshot seen = Download("_data_a_dat.ppk", 40, 100);
  texts.Lines(seen, {});
  EXPECT_EQ(texts.Lines(seen, {}).item, "_data_a_dat.ppk");
  seen.failureReason = "_data_a_dat.ppk: HTTP 404";
  StatusLines lines = texts.Lines(seen, {});
  EXPECT_EQ(lines.item, "_data_a_dat.ppk: HTTP 404");
  EXPECT_EQ(lines.itemFigures, "");
}

}  // namespace
