#include "engine/local_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/file_digests.h"
#include "engine/patch_run.h"
#include "engine/status_log.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"

namespace {

class CheckLocalFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    job.configPath = folder.path() + "\\patch.sys";
    folder.Write("patch.sys", "[Msg]\r\nLocalFile=Looking\r\n");
    folder.Write("veldra.exe", "patcher");
    folder.Write("data/maps/deep/a.dat", "deep");
    folder.Write("data/B.dat", std::string(70000, 'B'));
    folder.Write("temp/_x_dat.ppk", "waiting package");
    platform::CreateFolder("data\\empty");
  }
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const auto& entry : run.files) keys.push_back(entry.first);
    return keys;
  }

  ScratchFolder folder;
  PatchJob job;
  PatchRun run{job};
};

TEST_F(CheckLocalFilesTest, AFirstRunDigestsEveryFileAndSavesTheLog) {
  ASSERT_TRUE(CheckLocalFiles(run));
  EXPECT_EQ(Keys(),
            (std::vector<std::string>{"\\data\\B.dat", "\\data\\maps\\deep\\a.dat", "\\patch.sys",
                                      "\\temp\\_x_dat.ppk", "\\veldra.exe"}));
  const FileDigests& deep = *run.files.Find("\\data\\maps\\deep\\a.dat");
  EXPECT_EQ(deep.installed, DigestOfBytes("deep"));
  EXPECT_EQ(deep.fetched, deep.installed);
  EXPECT_EQ(run.files.Find("\\data\\B.dat")->installed, DigestOfBytes(std::string(70000, 'B')));
  EXPECT_EQ(job.stageText, "Looking");
  EXPECT_EQ(job.stagePos, 5);
  EXPECT_EQ(job.stageRange, 5);
  EXPECT_EQ(folder.Read("localfileStatus.log"), StatusLogBytes(run.files));
}

TEST_F(CheckLocalFilesTest, ALaterRunTrustsTheLogAndReadsNoGameFile) {
  ASSERT_TRUE(CheckLocalFiles(run));
  // Changed by hand, removed and added behind the log's back: none of it is noticed here,
  // where only the log is read; the listed files are looked at once the list is known.
  folder.Write("data/maps/deep/a.dat", "changed");
  platform::RemoveFile("veldra.exe");
  folder.Write("added.dat", "new");
  PatchJob again;
  again.configPath = job.configPath;
  PatchRun againRun(again);
  ASSERT_TRUE(CheckLocalFiles(againRun));
  EXPECT_EQ(againRun.files.Find("\\data\\maps\\deep\\a.dat")->installed, DigestOfBytes("deep"));
  EXPECT_NE(againRun.files.Find("\\veldra.exe"), nullptr);
  EXPECT_EQ(againRun.files.Find("\\added.dat"), nullptr);
  EXPECT_EQ(again.stageRange, 0);
}

TEST_F(CheckLocalFilesTest, MakesTheStagingFolder) {
  platform::RemoveFile("temp\\_x_dat.ppk");
  std::filesystem::remove("temp");
  ASSERT_TRUE(CheckLocalFiles(run));
  EXPECT_TRUE(platform::IsFolder("temp"));
}

TEST_F(CheckLocalFilesTest, AStopDuringTheDigestPassSavesNoLog) {
  WalkFolder(run.files, "\\");
  job.state = PatchState::Stop;
  EXPECT_FALSE(DigestAllFiles(run));
  EXPECT_FALSE(platform::PathExists("localfileStatus.log"));
}

TEST_F(CheckLocalFilesTest, AFileGoneSinceTheWalkKeepsZeroDigests) {
  WalkFolder(run.files, "\\");
  platform::RemoveFile("data\\B.dat");
  ASSERT_TRUE(DigestAllFiles(run));
  EXPECT_TRUE(IsZeroDigest(run.files.Find("\\data\\B.dat")->installed));
  EXPECT_EQ(run.files.Find("\\veldra.exe")->installed, DigestOfBytes("patcher"));
}

// A log that cannot be saved must fail the run: later runs would trust the stale one.
TEST_F(CheckLocalFilesTest, AnUnreadableLogMeansTakingStockAgainAndAnUnsavableOneFailsTheRun) {
  platform::CreateFolder("localfileStatus.log");  // exists, but is no file
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_FALSE(CheckLocalFiles(run));
  EXPECT_EQ(run.files.Find("\\veldra.exe")->installed, DigestOfBytes("patcher"));
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].text.rfind("Cannot save localfileStatus.log", 0), 0u);
}

}  // namespace
