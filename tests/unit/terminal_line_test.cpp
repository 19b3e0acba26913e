#include "tools/terminal/terminal_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(TerminalLineTest, OverwritesOneLineWithinTheColumnsAndClearsIt) {
  std::ostringstream terminal;
  {
    TerminalLine line(terminal, 20);
    EXPECT_EQ(line.Width(), 19u);
    line.Show("[1/2] a.dat");
    line.Show("[2/2] folder/with/a/long/name.dat");
    line.Show("[3/3] abcdefghijkl\xc3\xa4.dat");  // the cut would fall inside the ä
    line.Show("[4/4] b");
  }
  EXPECT_EQ(terminal.str(),
            "\r[1/2] a.dat"
            "\r[2/2] folder/with/a"
            "\r[3/3] abcdefghijkl "  // blanks over what the line before left
            "\r[4/4] b           "
            "\r       \r");
}

TEST(TerminalLineTest, AKeptLineStaysAndNothingShowsWithoutATerminal) {
  std::ostringstream terminal;
  {
    TerminalLine line(terminal, 80);
    line.Show("done");
    line.Keep();
    line.Clear();
  }
  EXPECT_EQ(terminal.str(), "\rdone\n");
  std::ostringstream file;
  {
    TerminalLine line(file, std::nullopt);
    line.Show("[1/1] a.dat");
    line.Keep();
  }
  EXPECT_EQ(file.str(), "");
}

}  // namespace
