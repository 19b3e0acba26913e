#include "launcher/relaunch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/files.h"
#include "platform/prompt.h"
#include "tests/support/recorder_program.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"

namespace {
using namespace std::chrono_literals;

std::string WaitForRecord(const ScratchFolder& folder) {
  for (int i = 0; i < 1000 && !platform::PathExists("recorded.txt"); ++i) {
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(50ms);  // let the recorder finish writing
  return folder.Read("recorded.txt");
}

TEST(CopyAndStartPatcherTest, CopiesThePatcherAndStartsTheCopyWithItsWords) {
  for (const char* words : {"runningcopy", "runningcopy steam", "runningcopyauto steam"}) {
    ScratchFolder folder;
    WriteRecorderProgram(folder, "veldra.exe");
    folder.Write("_veldra.exe", "an older copy");
    LaunchPlan plan;
    plan.copyWords = words;
    ASSERT_TRUE(CopyAndStartPatcher(plan, platform::ProfileReader(folder.path() + "/patch.sys")));
    EXPECT_EQ(folder.Read("_veldra.exe"), folder.Read("veldra.exe"));
    EXPECT_EQ(WaitForRecord(folder), std::string("_veldra.exe ") + words);
  }
}

TEST(CopyAndStartPatcherTest, NoPatcherToCopyTriesTenTimesThenShowsTheConfiguredText) {
  ScratchFolder folder;
  folder.Write("patch.sys", "[ErrMsg]\r\nErrCopyPatch=Cannot copy, close the other patcher\r\n");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  auto before = std::chrono::steady_clock::now();
  LaunchPlan plan;
  plan.copyWords = "runningcopy";
  EXPECT_FALSE(CopyAndStartPatcher(plan, platform::ProfileReader(folder.path() + "/patch.sys")));
  // Ten failed tries, each followed by its one-second wait, before the box.
  EXPECT_GE(std::chrono::steady_clock::now() - before, 9900ms);
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].text, "Cannot copy, close the other patcher");
  EXPECT_EQ(prompt.Shown()[0].caption, "Error");
  EXPECT_EQ(prompt.Shown()[0].style, platform::kBoxIconError);
  EXPECT_FALSE(platform::PathExists("_veldra.exe"));
}

TEST(CopyAndStartPatcherTest, CopyThatCannotStartShowsTheDefaultText) {
  ScratchFolder folder;
  folder.Write("veldra.exe", "not a program");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  LaunchPlan plan;
  plan.copyWords = "runningcopy";
  EXPECT_FALSE(CopyAndStartPatcher(plan, platform::ProfileReader(folder.path() + "/patch.sys")));
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].text, "Error Starting Patch Client!");
}
}  // namespace
