#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "engine/file_digests.h"
#include "engine/local_check.h"
#include "engine/patch_run.h"
#include "tests/support/stage_test.h"

// A game folder with one game file, data\a.dat, whose state files a test damages.
class GameFolderTest : public StageTest {
 protected:
  struct Damage {
    const char* what;
    std::function<void()> make;
  };

  void SetUp() override {
    StageTest::SetUp();
    folder.Write("patch.sys", "[Msg]\r\n");
    folder.Write("data/a.dat", "game file");
  }
  // Takes stock of the folder in a job of its own, as the patcher's next start does: what it
  // found of the game file.
  FileDigests NextRunsGameFile() const {
    PatchJob next;
    next.configPath = job.configPath;
    PatchRun nextRun(next);
    EXPECT_TRUE(CheckLocalFiles(nextRun));
    const FileDigests* game = nextRun.files.Find("\\data\\a.dat");
    EXPECT_NE(game, nullptr);
    return game != nullptr ? *game : FileDigests{};
  }
};
