#include "tools/cli/cli_options.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string_view>;
using Action = CliCommandLine::Action;

TEST(CliOptionsTest, NoArgumentsPatchWithTheDefaults) {
  CliCommandLine line = ParseCliCommandLine({});
  ASSERT_EQ(line.action, Action::Patch);
  EXPECT_EQ(line.options.zone, "");
  EXPECT_EQ(line.options.answering, Answering::Ask);
  EXPECT_FALSE(line.options.start);
}

TEST(CliOptionsTest, EachOptionTakesEffect) {
  CliCommandLine line = ParseCliCommandLine(Args{"--zone", "Europe", "--no", "--start"});
  ASSERT_EQ(line.action, Action::Patch);
  EXPECT_EQ(line.options.zone, "Europe");
  EXPECT_EQ(line.options.answering, Answering::No);
  EXPECT_TRUE(line.options.start);
  EXPECT_EQ(ParseCliCommandLine(Args{"--yes"}).options.answering, Answering::Yes);
  EXPECT_EQ(ParseCliCommandLine(Args{"--zone=Asia"}).options.zone, "Asia");
  EXPECT_TRUE(ParseCliCommandLine(Args{"--repair", "--start"}).options.repair);
  EXPECT_TRUE(ParseCliCommandLine(Args{"--no", "--verify"}).options.verify);
  EXPECT_EQ(ParseCliCommandLine(Args{"--transfers", "16"}).options.transfers, 16);
  EXPECT_EQ(ParseCliCommandLine(Args{"--transfers=1"}).options.transfers, 1);
  EXPECT_TRUE(ParseCliCommandLine(Args{"-v"}).options.verbose);
}

TEST(CliOptionsTest, HelpWinsWhereverItStands) {
  EXPECT_EQ(ParseCliCommandLine(Args{"--help"}).action, Action::Help);
  EXPECT_EQ(ParseCliCommandLine(Args{"--zone", "Demo", "--help"}).action, Action::Help);
}

TEST(CliOptionsTest, AProblemIsNamedAndNothingRuns) {
  const std::pair<Args, const char*> cases[] = {
      {{"--quiet"}, "unknown option --quiet"},
      {{"-y"}, "unknown option -y"},
      {{"game"}, "unexpected argument game"},
      {{"--zone"}, "--zone needs a NAME"},
      {{"--zone="}, "--zone needs a NAME"},
      // An option where the name should be means the name was forgotten.
      {{"--zone", "--yes"}, "--zone needs a NAME"},
      {{"--zone", "A", "--zone", "B"}, "--zone is given twice"},
      {{"--transfers"}, "--transfers needs a number from 1 to 32"},
      {{"--transfers", "0"}, "--transfers needs a number from 1 to 32"},
      {{"--transfers=33"}, "--transfers needs a number from 1 to 32"},
      {{"--transfers", "8x"}, "--transfers needs a number from 1 to 32"},
      {{"--yes", "--no"}, "--yes and --no cannot go together"},
      {{"--no", "--start", "--yes"}, "--yes and --no cannot go together"},
      {{"--verify", "--repair"}, "--verify cannot go with --repair or --start"},
      {{"--start", "--verify"}, "--verify cannot go with --repair or --start"},
  };
  for (const auto& [args, problem] : cases) {
    CliCommandLine line = ParseCliCommandLine(args);
    EXPECT_EQ(line.action, Action::Usage) << problem;
    EXPECT_EQ(line.problem, problem);
  }
}

TEST(CliOptionsTest, TheUsageTellsWhatGoesWhere) {
  const std::string usage = kCliUsage;
  for (const char* told : {"--zone NAME", "--yes", "--no", "--start", "--repair", "--verify",
                           "  7  ", "Standard output", "Standard error", "Exit status", "Ctrl-C"}) {
    EXPECT_NE(usage.find(told), std::string::npos) << told;
  }
}

}  // namespace
