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

PatchSnapshot Download(const std::string& item, std::int32_t pos, std::int32_t range) {
  PatchSnapshot seen;
  seen.stageText = "Downloading game files";
  seen.itemText = item;
  seen.bytesDone = pos;
  seen.bytesTotal = range;
  seen.stagePos = 1;
  seen.stageRange = 4;
  seen.state = PatchState::Running;
  return seen;
}

TEST(StatusTextsTest, TheSpeedIsThatOfTheFileOverTheLastSeconds) {
  StatusTexts texts;
  StatusTexts::Clock::time_point start{};
  EXPECT_EQ(texts.Lines(Download("a.ppk", 0, 4096), start).itemFigures, "0%");
  texts.Lines(Download("a.ppk", 1024, 4096), start + 500ms);
  StatusLines lines = texts.Lines(Download("a.ppk", 3072, 4096), start + 1500ms);
  EXPECT_EQ(lines.item, "a.ppk");
  EXPECT_EQ(lines.itemFigures, "75%  2.0 KiB/s");
  EXPECT_EQ(lines.stage, "Downloading game files");
  EXPECT_EQ(lines.stageFigures, "25%");

  // The polls miss what the files between them brought: a new file shows no rate at first.
  EXPECT_EQ(texts.Lines(Download("b.ppk", 100, 200), start + 2000ms).itemFigures, "50%");
  // A stalled download shows no rate of the bytes that came before it.
  texts.Lines(Download("b.ppk", 200, 0), start + 2500ms);
  EXPECT_EQ(texts.Lines(Download("b.ppk", 200, 0), start + 9000ms).itemFigures, "200 B");
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
}

TEST(StatusTextsTest, AFailedItemShowsWhyInTheItemLine) {
  StatusTexts texts;
  PatchSnapshot seen = Download("_data_a_dat.ppk", 40, 100);
  EXPECT_EQ(texts.Lines(seen, {}).item, "_data_a_dat.ppk");
  seen.failureReason = "_data_a_dat.ppk: HTTP 404";
  StatusLines lines = texts.Lines(seen, {});
  EXPECT_EQ(lines.item, "_data_a_dat.ppk: HTTP 404");
  EXPECT_EQ(lines.itemFigures, "");
}

}  // namespace
