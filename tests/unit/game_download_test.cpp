#include "engine/game_download.h"

#include <gtest/gtest.h>

#include "engine/file_digests.h"
#include "engine/package.h"
#include "engine/patch_job.h"
#include "engine/status_log.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "tests/support/gzip_bytes.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/stage_test.h"
#include "tests/support/test_servers.h"

namespace {

class DownloadGameFilesTest : public StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    RunningAndConnected();
  }
  // The server lists `key` with `content` and has its package.
  FileDigests& Listed(const std::string& key, const std::string& content) {
    server.Serve(PackageNameOf(key), GzipBytes(content) + PackageTrailer(key.substr(1)));
    FileDigests& digests = job.files.FindOrAdd(key);
    digests.listed = DigestOfBytes(content);
    return digests;
  }
  int Fetches(const std::string& key) const {
    int count = 0;
    for (const LoggedRequest& request : server.Requests()) {
      count += request.path == "/./" + PackageNameOf(key) && request.status == 200;
    }
    return count;
  }
};

TEST_F(DownloadGameFilesTest, FetchesWhatDiffersAndLeavesUnlistedFilesAlone) {
  Listed("\\data\\new.dat", "new");
  FileDigests& changed = Listed("\\old.dat", "second");
  changed.installed = changed.fetched = DigestOfBytes("first");
  folder.Write("old.dat", "first");
  FileDigests& current = Listed("\\same.dat", "same");
  current.installed = current.fetched = current.listed;
  folder.Write("mine.cfg", "local settings");
  job.files.FindOrAdd("\\mine.cfg").installed = DigestOfBytes("local settings");

  ASSERT_TRUE(DownloadGameFiles(job));
  EXPECT_EQ(folder.Read("data/new.dat"), "new");
  EXPECT_EQ(folder.Read("old.dat"), "second");
  EXPECT_EQ(folder.Read("mine.cfg"), "local settings");
  EXPECT_EQ(Fetches("\\same.dat"), 0);
  EXPECT_EQ(Fetches("\\data\\new.dat") + Fetches("\\old.dat"), 2);
  FileDigestMap saved;
  ReadStatusLog(folder.Read("localfileStatus.log"), saved);
  EXPECT_EQ(saved.Find("\\old.dat")->installed, DigestOfBytes("second"));
}

TEST_F(DownloadGameFilesTest, APackageLeftWaitingIsUnpackedWithoutFetching) {
  FileDigests& waiting = Listed("\\a.dat", "a");
  waiting.fetched = waiting.listed;
  folder.Write("temp/_a_dat.ppk", GzipBytes("a") + PackageTrailer("a.dat"));
  ASSERT_TRUE(DownloadGameFiles(job));
  EXPECT_EQ(Fetches("\\a.dat"), 0);
  EXPECT_EQ(folder.Read("a.dat"), "a");
}

TEST_F(DownloadGameFilesTest, AFetchedPackageThatIsGoneIsFetchedAgain) {
  FileDigests& gone = Listed("\\a.dat", "a");
  gone.fetched = gone.listed;
  ASSERT_TRUE(DownloadGameFiles(job));
  EXPECT_EQ(Fetches("\\a.dat"), 1);
  EXPECT_EQ(folder.Read("a.dat"), "a");
}

TEST_F(DownloadGameFilesTest, AStalePackageOfTheSameNameIsReplaced) {
  Listed("\\a.dat", "current");
  folder.Write("temp/_a_dat.ppk", GzipBytes("outdated") + PackageTrailer("a.dat"));
  ASSERT_TRUE(DownloadGameFiles(job));
  EXPECT_EQ(Fetches("\\a.dat"), 1);
  EXPECT_EQ(folder.Read("a.dat"), "current");
}

TEST_F(DownloadGameFilesTest, TheSecondOfTwoMissingKeepsTheFirstForNextTime) {
  Listed("\\a.dat", "a");
  Listed("\\b.dat", "b");
  server.SetRules(R"({"_b_dat.ppk": {"status": 404}})");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);

  EXPECT_FALSE(DownloadGameFiles(job));
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].text, "_b_dat.ppk");
  EXPECT_EQ(CurrentState(job), PatchState::Failed);
  EXPECT_FALSE(platform::PathExists("a.dat")) << "nothing is unpacked";
  FileDigestMap saved;
  ReadStatusLog(folder.Read("localfileStatus.log"), saved);
  EXPECT_EQ(saved.Find("\\a.dat")->fetched, DigestOfBytes("a"));
  EXPECT_TRUE(IsZeroDigest(saved.Find("\\b.dat")->fetched));
}

TEST_F(DownloadGameFilesTest, ARefusedNameFailsTheRunOnceTheRestIsInstalled) {
  Listed("\\a.dat", "alpha");
  job.refusedName = "\\..\\outside.dat (a \"..\")";
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_FALSE(DownloadGameFiles(job));
  EXPECT_EQ(folder.Read("a.dat"), "alpha");
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_NE(prompt.Shown()[0].text.find("\\..\\outside.dat"), std::string::npos);
}

TEST_F(DownloadGameFilesTest, AStopEndsBeforeTheNextFile) {
  Listed("\\a.dat", "a");
  job.state = PatchState::Stop;
  EXPECT_FALSE(DownloadGameFiles(job));
  EXPECT_EQ(Fetches("\\a.dat"), 0);
  EXPECT_EQ(CurrentState(job), PatchState::Stop);
  EXPECT_TRUE(platform::PathExists("localfileStatus.log"));
}

}  // namespace
