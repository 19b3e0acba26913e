#include <gtest/gtest.h>

#include <sstream>

#include "engine/progress_view.h"
#include "tools/cli/console.h"
#include "tools/cli/progress_format.h"
#include "tools/cli/progress_log.h"

namespace {

using namespace std::chrono_literals;

PatchSnapshot Seen(const std::string& stage, const std::string& item, std::int32_t bytesDone = 0,
                   std::int32_t stagePos = 0, std::int32_t stageRange = 0) {
  PatchSnapshot seen;
  seen.stageText = stage;
  seen.itemText = item;
  seen.bytesDone = bytesDone;
  seen.bytesTotal = bytesDone > 0 ? 512 : 0;
  seen.stagePos = stagePos;
  seen.stageRange = stageRange;
  seen.state = PatchState::Running;
  return seen;
}

ProgressView View(const std::string& stage, const std::string& item,
                  std::optional<std::uint64_t> bytes = std::nullopt, std::int32_t stagePos = 0,
                  std::int32_t stageRange = 0) {
  ProgressView view;
  view.stage = stage;
  view.item = item;
  view.bytesDone = bytes;
  view.stagePos = stagePos;
  view.stageRange = stageRange;
  return view;
}

TEST(ProgressBarTest, KeepsItsWidthWhateverTheCounts) {
  EXPECT_EQ(ProgressBar(0, 0, 10), "[          ]");
  EXPECT_EQ(ProgressBar(5, 0, 10), "[          ]");
  EXPECT_EQ(ProgressBar(-1, 4, 10), "[          ]");
  EXPECT_EQ(ProgressBar(1, 4, 10), "[##        ]");
  EXPECT_EQ(ProgressBar(399, 400, 10), "[######### ]");  // full only when done
  EXPECT_EQ(ProgressBar(400, 400, 10), "[##########]");
  EXPECT_EQ(ProgressBar(900, 400, 10), "[##########]");
  EXPECT_EQ(ProgressBar(2147483647, 2147483647, 20).size(), 22u);
}

TEST(FitNameTest, ALongNameKeepsItsStartAndItsEnd) {
  EXPECT_EQ(FitName("data\\a.dat", 10), "data\\a.dat");
  const std::string fitted = FitName("data\\maps\\zone1\\tiles\\forest_north.dat", 24);
  EXPECT_EQ(fitted.size(), 24u);
  EXPECT_EQ(fitted, "data\\ma...rest_north.dat");
  EXPECT_EQ(FitName("abcdefgh", 3), "abc");
  EXPECT_EQ(FitName("abcdefgh", 0), "");
}

TEST(FitNameTest, NeverCutsAUtf8SequenceInTwo) {
  const std::string name = "d\xC3\xA9j\xC3\xA0\\\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC.dat";
  for (std::size_t width = 0; width <= name.size(); ++width) {
    const std::string fitted = FitName(name, width);
    EXPECT_LE(fitted.size(), width);
    // No sequence begins without its lead byte, and none ends short of its bytes.
    for (std::size_t at = 0; at < fitted.size();) {
      const unsigned char lead = static_cast<unsigned char>(fitted[at]);
      ASSERT_NE(lead & 0xC0, 0x80) << width;
      std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      ASSERT_LE(at + length, fitted.size()) << width;
      at += length;
    }
  }
}

// A download under way: 41 of 130 MiB at 4 MiB/s, 23 s left.
ProgressView Downloading(const std::string& item, std::uint64_t done = 41 << 20,
                         std::uint64_t speed = 4 << 20, std::int64_t left = 23) {
  ProgressView view = View("Downloading game files", item, done, 3, 12);
  view.bytesTotal = 130 << 20;
  view.bytesPerSecond = speed;
  view.timeLeft = std::chrono::seconds(left);
  return view;
}

TEST(ProgressLineTextTest, TheNameGoesFirstThenTheBarThenTheFiguresFromTheFront) {
  const struct {
    std::size_t width;
    const char* line;
  } cases[] = {
      {120,
       "Downloading game files [####            ] 3/12 _data_a_dat.ppk 41.0/130.0 MiB 4.0 MiB/s "
       "0:23 left"},
      {100, "Downloading game files 3/12 _data_a_dat.ppk 41.0/130.0 MiB 4.0 MiB/s 0:23 left"},
      {80, "Downloading game files 3/12 41.0/130.0 MiB 4.0 MiB/s 0:23 left"},
      {60, "Downloading game files 3/12 4.0 MiB/s 0:23 left"},
      {45, "Downloading game files 3/12 0:23 left"},
      {30, "Downloading game files 3/12"},
      {20, "Downloading game fil"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressLineText(Downloading("_data_a_dat.ppk"), c.width), c.line) << c.width;
  }
}

TEST(ProgressLineTextTest, AStageThatMovesNoBytesKeepsItsNameBeforeItsBar) {
  const ProgressView view = View("Checking Local Files",
                                 "data\\maps\\zone1\\tiles\\forest_north_and_beyond.dat", {}, 1, 2);
  EXPECT_EQ(ProgressLineText(view, 79),
            "Checking Local Files [########        ] 1/2 data\\maps\\...t_north_and_beyond.dat");
  EXPECT_EQ(ProgressLineText(view, 50), "Checking Local Files 1/2 data\\ma..._and_beyond.dat");
  EXPECT_EQ(ProgressLineText(View("Update Server List", ""), 79),
            "Update Server List [                ]");
  EXPECT_EQ(ProgressLineText(View("Decompressing Files", "data\\a.dat", std::nullopt, 57), 79),
            "Decompressing Files [                ] 57 data\\a.dat");
}

TEST(ProgressLineTextTest, NeverWiderThanAsked) {
  // Figures past their room: hours left, units that differ.
  const std::string name = "_data_maps_zone1_tiles_forest_north_and_beyond_dat.ppk";
  for (const ProgressView& view :
       {Downloading(name, 1023 << 10, 1000, 99 * 3600), View("Update Server List", name, 12)}) {
    for (std::size_t width = 0; width <= 140; ++width) {
      EXPECT_LE(ProgressLineText(view, width).size(), width) << width;
    }
  }
}

TEST(ProgressLineTextTest, TheLayoutHoldsAsTheFiguresChange) {
  // What shows depends on the width, not on the values: no piece comes and goes as they move.
  const ProgressView slow = Downloading("a.ppk", 10, 1000, 3599);
  const ProgressView fast = Downloading("a_long_name_of_a_file.ppk", 100 << 20, 900 << 20, 1);
  for (std::size_t width = 40; width <= 130; ++width) {
    const std::string one = ProgressLineText(slow, width);
    const std::string other = ProgressLineText(fast, width);
    EXPECT_EQ(one.find('['), other.find('[')) << one << "\n" << other;
    EXPECT_EQ(one.find("/12 a"), other.find("/12 a")) << one << "\n" << other;
    EXPECT_EQ(one.find("/s") == std::string::npos, other.find("/s") == std::string::npos)
        << one << "\n"
        << other;
  }
}

TEST(ProgressViewerTest, TheItemLeftFromTheStageBeforeIsNotShown) {
  ProgressViewer viewer;
  EXPECT_EQ(viewer.View(Seen("Checking Local Files", "\\local.ver", 0, 2, 2), {}).item,
            "\\local.ver");
  // The next stage has begun; the job still names the last stage's item.
  EXPECT_EQ(viewer.View(Seen("Update Server List", "\\local.ver"), {}).item, "");
  ProgressView first = viewer.View(Seen("Update Server List", "patch.sys", 700), {});
  EXPECT_EQ(first.item, "patch.sys");
  EXPECT_EQ(first.bytesDone, 700u);
}

TEST(ProgressViewerTest, TheFirstLookMayComeAfterStagesThatWentByUnseen) {
  ProgressViewer viewer;
  EXPECT_EQ(viewer.View(Seen("Update Server List", "\\patch.sys"), {}).item, "");
  EXPECT_EQ(viewer.View(Seen("Update Server List", "patch.sys", 90), {}).item, "patch.sys");
}

TEST(ProgressViewerTest, AnItemSeenLastBeforeIsALeftoverEvenOnceTheStageMoved) {
  ProgressViewer viewer;
  viewer.View(Seen("Decompressing Files", "data\\a.dat", 0, 1, 1), {});
  // The download stage counts its first file before that file's name is set.
  EXPECT_EQ(viewer.View(Seen("Downloading game files", "data\\a.dat", 0, 1, 9), {}).item, "");
  EXPECT_EQ(viewer.View(Seen("Downloading game files", "_b.ppk", 10, 1, 9), {}).item, "_b.ppk");
}

TEST(ProgressViewerTest, AStagesOwnFirstItemIsShownAtOnce) {
  ProgressViewer viewer;
  viewer.View(Seen("Checking Local Files", "\\a", 0, 5, 5), {});
  EXPECT_EQ(viewer.View(Seen("Update Server List", "patch.sys", 300), {}).item, "patch.sys");
  // Named before its request is answered, on a slow line for the whole of a poll or more.
  EXPECT_EQ(viewer.View(Seen("Downloading game files", "data\\big.pak"), {}).item, "data\\big.pak");
}

TEST(ProgressViewerTest, OnlyATransferHasBytes) {
  ProgressViewer viewer;
  EXPECT_EQ(viewer.View(Seen("Checking Local Files", "\\a.dat", 0, 1, 9), {}).bytesDone,
            std::nullopt);
  EXPECT_EQ(viewer.View(Seen("Update Server List", "patch.sys", 0, 0, 0), {}).bytesDone,
            std::nullopt);
  PatchSnapshot opened = Seen("Update Server List", "pserv.log");
  opened.bytesTotal = 36;  // the request is open, nothing read yet
  EXPECT_EQ(viewer.View(opened, {}).bytesDone, 0u);
}

class ProgressLogTest : public testing::Test {
 protected:
  std::vector<std::string> Look(const ProgressView& view, std::chrono::milliseconds at) {
    return log.Look(view, start + at);
  }
  using Lines = std::vector<std::string>;
  ProgressLog log;
  ProgressLog::Clock::time_point start = ProgressLog::Clock::now();
};

TEST_F(ProgressLogTest, AStageIsToldOnceWhenItBegins) {
  EXPECT_EQ(Look(View("", ""), 0ms), Lines{});  // the worker has not begun
  EXPECT_EQ(Look(View("Update Server List", ""), 0ms), Lines{"[Update Server List]"});
  EXPECT_EQ(Look(View("Update Server List", ""), 100ms), Lines{});
}

TEST_F(ProgressLogTest, AnItemIsToldWhenTheNextBegins) {
  Look(View("Update Server List", "patch.sys"), 0ms);
  EXPECT_EQ(Look(View("Update Server List", "patch.sys", 900), 100ms), Lines{});
  EXPECT_EQ(Look(View("Update Server List", "pserv.log"), 200ms),
            Lines{"[Update Server List] patch.sys"});
}

TEST_F(ProgressLogTest, ItemsOfAStageAreToldAtMostOnceASecond) {
  Look(View("Checking Local Files", "\\f0"), 0ms);
  std::size_t told = 0;
  // 2000 files over 5 seconds, looked at every 100 ms.
  for (int look = 1; look <= 50; ++look) {
    told += Look(View("Checking Local Files", "\\f" + std::to_string(look * 40)),
                 std::chrono::milliseconds(look * 100))
                .size();
  }
  EXPECT_GE(told, 4u);
  EXPECT_LE(told, 6u);
}

TEST_F(ProgressLogTest, AnItemsLineTellsTheTransferAsItStoodThen) {
  Look(Downloading("_a.ppk", 1 << 20), 0ms);
  EXPECT_EQ(Look(Downloading("_b.ppk"), 1000ms),
            Lines{"[Downloading game files] _a.ppk  41.0/130.0 MiB 4.0 MiB/s 0:23 left"});
  ProgressView done = Downloading("_c.ppk", 130 << 20);
  done.timeLeft.reset();
  Look(done, 2000ms);
  EXPECT_EQ(log.End(), Lines{"[Downloading game files] _c.ppk  130.0/130.0 MiB 4.0 MiB/s"});
}

TEST_F(ProgressLogTest, AStagesLastItemIsAlwaysTold) {
  Look(View("Downloading game files", "_a.ppk"), 0ms);
  Look(View("Downloading game files", "_b.ppk"), 100ms);  // told: the first this second
  EXPECT_EQ(Look(View("Downloading game files", "_c.ppk"), 200ms), Lines{});
  EXPECT_EQ(Look(View("Decompressing Files", ""), 300ms),
            (Lines{"[Downloading game files] _c.ppk", "[Decompressing Files]"}));
  Look(View("Decompressing Files", "data\\c.dat"), 400ms);
  EXPECT_EQ(log.End(), Lines{"[Decompressing Files] data\\c.dat"});
  EXPECT_EQ(log.End(), Lines{});
}

// Progress and boxes on one terminal, as a user sees them when both streams go to it.
class ConsoleTest : public testing::Test {
 protected:
  std::ostringstream screen;
  Console console{screen, screen, 60};
  ProgressLog::Clock::time_point now = ProgressLog::Clock::now();
};

TEST_F(ConsoleTest, ABoxClearsTheProgressLineAndTheLineComesBack) {
  console.Look(Seen("Update Server List", "patch.sys", 100), now);
  const std::string line = screen.str();
  ASSERT_TRUE(line.starts_with("\rUpdate Server List")) << line;
  screen.str("");
  console.Tell("Error Downloading File: patch.sys");
  std::string cleared(line.size() + 1, ' ');
  cleared.front() = cleared.back() = '\r';
  EXPECT_EQ(screen.str(), cleared + "Error Downloading File: patch.sys\n");
  screen.str("");
  console.Look(Seen("Update Server List", "patch.sys", 100), now);
  EXPECT_EQ(screen.str(), line);
}

TEST_F(ConsoleTest, AShorterLineCoversTheLongerOneBefore) {
  console.Look(Seen("Update Server List", "a_long_name.dat", 100), now);
  const std::size_t longer = screen.str().size();
  screen.str("");
  console.Look(Seen("Update Server List", "b.dat", 100), now);
  EXPECT_NE(screen.str().find("b.dat"), std::string::npos);
  EXPECT_EQ(screen.str().size(), longer);
}

TEST_F(ConsoleTest, NoProgressIsDrawnOverAQuestion) {
  console.Look(Seen("Update Server List", "remote.ver", 3), now);
  console.BeginQuestion("[y/N] ");
  screen.str("");
  console.Look(Seen("Update Server List", "latest.ver", 3), now);
  EXPECT_EQ(screen.str(), "");
  console.EndQuestion();
  console.Look(Seen("Update Server List", "latest.ver", 3), now);
  EXPECT_NE(screen.str().find("latest.ver"), std::string::npos);
}

TEST_F(ConsoleTest, TheRunsLastLineStaysAndTheNextRunStartsBelow) {
  console.Look(Seen("Downloading game files", "_a.ppk", 10, 1, 1), now);
  PatchSnapshot last = Seen("Decompressing Files", "a.dat", 0, 1, 1);
  last.state = PatchState::Done;
  console.EndRun(last, now);
  const std::string shown = screen.str();
  const std::string lastLine = shown.substr(shown.rfind('\r') + 1);
  EXPECT_TRUE(lastLine.starts_with("Decompressing Files")) << shown;
  EXPECT_TRUE(lastLine.ends_with("\n")) << shown;
  screen.str("");
  console.Tell("veldra-cli: run 1 of at most 3: done");
  EXPECT_EQ(screen.str(), "veldra-cli: run 1 of at most 3: done\n");  // nothing to clear
}

// A hostile server's names and reasons, and what veldra-cli prints of them in each of its
// outputs: no control reaches the terminal.
TEST(ConsoleEscapingTest, ServerTextIsPrintedWithItsControlsEscaped) {
  const struct {
    std::string sent;
    std::string printed;
  } cases[] = {
      {"a\x1b[2Jb.dat", "a\\x1b[2Jb.dat"},            // clears the screen
      {"fake\rdone.dat", "fake\\x0ddone.dat"},        // a bare CR writes over the line
      {"a\x07.dat", "a\\x07.dat"},                    // BEL
      {std::string("a\0b", 3), "a\\x00b"},            // NUL
      {"a\x7f.dat", "a\\x7f.dat"},                    // DEL
      {"a\xc2\x9bJ", "a\\xc2\\x9bJ"},                 // CSI as a C1 control
      {"a\xc2\xa0z", "a\xc2\xa0z"},                   // U+00A0, the first past C1
      {"a\xff.dat", "a\\xff.dat"},                    // never in UTF-8
      {"a\xc0\xaf.dat", "a\\xc0\\xaf.dat"},           // an overlong '/'
      {"a\xed\xa0\x80.dat", "a\\xed\\xa0\\x80.dat"},  // a surrogate
      {"\xe5\x9c", "\\xe5\\x9c"},                     // a sequence cut at the end
      {"caf\xc3\xa9\\\xe5\x9c\xb0\xe5\x9b\xb3\xf0\x9f\x97\xba.dat",
       "caf\xc3\xa9\\\xe5\x9c\xb0\xe5\x9b\xb3\xf0\x9f\x97\xba.dat"},  // printable
  };
  const auto now = ProgressLog::Clock::now();
  for (const auto& [sent, printed] : cases) {
    std::ostringstream out, err, screen;
    Console log(out, err, std::nullopt);
    log.Tell("Error Downloading File: " + sent);
    log.Look(Seen("Downloading game files", sent, 10, 1, 1), now);
    log.EndRun(Seen("Downloading game files", sent, 10, 1, 1), now);
    EXPECT_EQ(err.str(), "Error Downloading File: " + printed + "\n") << printed;
    EXPECT_EQ(out.str(),
              "[Downloading game files]\n[Downloading game files] " + printed + "  10/512 B\n")
        << printed;
    Console terminal(screen, screen, 200);
    terminal.Look(Seen("Downloading game files", sent, 10, 1, 1), now);
    EXPECT_EQ(screen.str(),
              "\rDownloading game files [################] 1/1 " + printed + " 10/512 B")
        << printed;
  }
}

TEST(ConsoleEscapingTest, TheLinesOfABoxStayLines) {
  std::ostringstream out, err;
  Console console(out, err, std::nullopt);
  console.Tell("Cannot create directory.\nC:\\game\\\x1b]0;x");
  EXPECT_EQ(err.str(), "Cannot create directory.\nC:\\game\\\\x1b]0;x\n");
}

TEST(ConsoleLogTest, ARunEndsWithItsLastItemAndTheNextStartsAfresh) {
  std::ostringstream out;
  std::ostringstream err;
  Console console(out, err, std::nullopt);
  const auto now = ProgressLog::Clock::now();
  console.Look(Seen("Downloading game files", "_a.ppk", 10, 1, 1), now);
  console.EndRun(Seen("Downloading game files", "_a.ppk", 20, 1, 1), now);
  console.Look(Seen("Downloading game files", "_a.ppk", 10, 1, 1), now);
  EXPECT_EQ(out.str(),
            "[Downloading game files]\n[Downloading game files] _a.ppk  20/512 B\n"
            "[Downloading game files]\n");
  EXPECT_EQ(err.str(), "");
}

}  // namespace
