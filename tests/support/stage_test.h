#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "engine/patch_run.h"
#include "platform/files.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_servers.h"

// A stage's world: the fault server with nothing on it, a scratch game folder (with its
// temp folder) as the current directory, and a run of a job whose patch.sys is the folder's
// own.
class StageTest : public testing::Test {
 protected:
  void SetUp() override {
    server.Reset();
    ASSERT_TRUE(platform::CreateFolder("temp"));
    job.configPath = folder.path() + "\\patch.sys";
    run.connection.SetRetryPause([](std::chrono::milliseconds) {});
  }
  // As the worker hands the job to a later stage: running, and connected to the server.
  void RunningAndConnected() {
    job.state = PatchState::Running;
    ASSERT_TRUE(run.connection.Connect("127.0.0.1", server.port(), "."));
  }
  // Runs `stage`, which must fail telling the player why in one box (answered OK): that box;
  // how it ended is in `ended`.
  ScriptedPrompt::Box FailureBox(const std::function<Outcome(PatchRun&)>& stage) {
    ScriptedPrompt prompt;
    prompt.Then(platform::kAnswerOk);
    ended = stage(run);
    EXPECT_FALSE(ended);
    const std::vector<ScriptedPrompt::Box> shown = prompt.Shown();
    EXPECT_EQ(shown.size(), 1u) << "boxes shown";
    return shown.empty() ? ScriptedPrompt::Box{} : shown[0];
  }

  FaultServer server;
  ScratchFolder folder;
  PatchJob job;
  PatchRun run{job};
  Outcome ended;
};
