#include "launcher/command_line.h"

#include <gtest/gtest.h>

namespace {
struct Case {
  const char* commandLine;
  LaunchRole role;
  bool steam;
  const char* copyWords;
};

void PrintTo(const Case& c, std::ostream* out) { *out << '"' << c.commandLine << '"'; }

class PlanLaunchTest : public testing::TestWithParam<Case> {};

TEST_P(PlanLaunchTest, ChoosesRoleAndWords) {
  const Case& c = GetParam();
  LaunchPlan plan = PlanLaunch(c.commandLine);
  EXPECT_EQ(plan.role, c.role);
  if (c.role == LaunchRole::Window) {
    EXPECT_EQ(plan.steam, c.steam);
  } else {
    EXPECT_EQ(plan.copyWords, c.copyWords);
  }
}

constexpr LaunchRole kWindow = LaunchRole::Window;
constexpr LaunchRole kCopy = LaunchRole::CopyAndRelaunch;

INSTANTIATE_TEST_SUITE_P(
    RoleTable, PlanLaunchTest,
    testing::Values(
        Case{"", kCopy, false, "runningcopy"}, Case{"steam", kCopy, false, "runningcopy steam"},
        Case{"runningauto", kCopy, false, "runningcopyauto"},
        Case{"runningauto steam", kCopy, false, "runningcopyauto steam"},
        Case{"steam runningauto", kCopy, false, "runningcopyauto steam"},
        Case{"runningcopy", kWindow, false, ""}, Case{"runningcopyauto", kWindow, false, ""},
        Case{"runningcopy steam", kWindow, true, ""},
        Case{"steam runningcopyauto", kWindow, true, ""}, Case{"foo", kWindow, false, ""}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, PlanLaunchTest,
    testing::Values(Case{"   ", kCopy, false, "runningcopy"},
                    Case{"RUNNINGCOPY", kWindow, false, ""},
                    Case{"  RunningCopy  Steam ", kWindow, true, ""},
                    Case{"runningcopy runningauto", kCopy, false, "runningcopyauto"},
                    // A tab joins words into one token, which counts only for its first word.
                    Case{"runningcopy\tsteam", kWindow, false, ""},
                    Case{"steam\trunningcopy", kWindow, false, ""},
                    Case{"xsteamx", kCopy, false, "runningcopy steam"},
                    Case{"/runningautox", kCopy, false, "runningcopyauto"},
                    // Blanks other than ' ' are not trimmed, so a lone tab is a word of its own.
                    Case{"\t", kWindow, false, ""}, Case{"foo bar", kWindow, false, ""},
                    Case{"foo  steam", kCopy, false, "runningcopy steam"}));

TEST(PatchSysPathTest, AppendsTheFileNameToAnyLengthOfFolder) {
  EXPECT_EQ(PatchSysPath("C:\\Games\\Veldra"), "C:\\Games\\Veldra\\patch.sys");
  std::string deep(5000, 'd');
  EXPECT_EQ(PatchSysPath(deep), deep + "\\patch.sys");
}
}  // namespace
