#include "engine/self_update.h"

#include <gtest/gtest.h>

#include "engine/file_digests.h"
#include "engine/package.h"
#include "engine/patch_run.h"
#include "engine/pserv_log.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "tests/support/gzip_bytes.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/stage_test.h"
#include "tests/support/test_servers.h"

namespace {

class UpdatePatchSystemTest : public StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    folder.Write("patch.sys",
                 "[layout]\r\nimage=skin\\bg.bmp\r\n[Button3]\r\nimagen=skin\\start.bmp\r\n"
                 "imageh=skin\\start.bmp\r\n[Radio8]\r\nimagex=skin\\gone.bmp\r\n");
    folder.Write("veldra.exe", "patcher 1");
    PublishPatcher("patcher 1");
    Picture("\\skin\\bg.bmp", "bg", "bg");
    Picture("\\skin\\start.bmp", "start", "start");
    run.files.FindOrAdd("\\veldra.exe").installed = DigestOfBytes("patcher 1");
    RunningAndConnected();
  }
  void PublishPatcher(const std::string& content) {
    server.Serve("veldra.exe", content);
    folder.Write("pserv.log", PservLogBytes(Digest{}, DigestOfBytes(content), {}));
  }
  // A picture the server lists as `listed`, installed as `installed`.
  FileDigests& Picture(const std::string& key, const std::string& installed,
                       const std::string& listed) {
    folder.Write(key.substr(1), installed);
    server.Serve(PackageNameOf(key), GzipBytes(listed) + PackageTrailer(key.substr(1)));
    FileDigests& digests = run.files.FindOrAdd(key);
    digests.installed = digests.fetched = DigestOfBytes(installed);
    digests.listed = DigestOfBytes(listed);
    return digests;
  }
  int Fetches(const std::string& name) const {
    int count = 0;
    for (const LoggedRequest& request : server.Requests()) {
      count += request.path == "/./" + name && request.status == 200;
    }
    return count;
  }
};

TEST_F(UpdatePatchSystemTest, ACurrentPatcherGoesOnToTheGame) {
  folder.Write("temp/_game_dat.ppk", GzipBytes("game") + PackageTrailer("game.dat"));
  ended = UpdatePatchSystem(run);
  ASSERT_TRUE(ended);
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_TRUE(platform::PathExists("localfileStatus.log"));
  EXPECT_EQ(folder.Read("game.dat"), "game") << "packages left waiting are unpacked";
  EXPECT_EQ(EndStateOf(ended), PatchState::Running);
}

TEST_F(UpdatePatchSystemTest, ANewExecutableIsFetchedInPlaceAndRelaunches) {
  PublishPatcher("patcher 2");
  ended = UpdatePatchSystem(run);
  EXPECT_FALSE(ended);
  EXPECT_EQ(folder.Read("veldra.exe"), "patcher 2");
  EXPECT_EQ(EndStateOf(ended), PatchState::Relaunch);
  // Installed now, so the game download does not fetch its package as well.
  EXPECT_EQ(run.files.Find("\\veldra.exe")->installed, DigestOfBytes("patcher 2"));
}

TEST_F(UpdatePatchSystemTest, AnExecutableThatCannotBeFetchedStillRelaunches) {
  PublishPatcher("patcher 2");
  server.SetRules(R"({"veldra.exe": {"status": 404}})");
  const ScriptedPrompt::Box box = FailureBox(UpdatePatchSystem);
  EXPECT_EQ(box.text, "veldra.exe");
  EXPECT_EQ(folder.Read("veldra.exe"), "patcher 1");
  EXPECT_EQ(EndStateOf(ended), PatchState::Relaunch);
}

// A part kept from an earlier run may hold other bytes than the file has: one whole fetch
// mends that without a word.
TEST_F(UpdatePatchSystemTest, AnExecutableResumedFromADamagedPartIsFetchedWholeOnce) {
  const std::string patcher = "patcher 2, " + PatternBytes(50000);
  PublishPatcher(patcher);
  server.SetRules(R"({"veldra.exe": {"etag": "\"v2\""}})");
  folder.Write("temp/veldra.exe.part", std::string(20000, 'x'));
  folder.Write("temp/veldra.exe.tag", std::to_string(patcher.size()) + "\n\"v2\"\n");
  ScriptedPrompt prompt;
  ended = UpdatePatchSystem(run);
  EXPECT_FALSE(ended);
  EXPECT_EQ(EndStateOf(ended), PatchState::Relaunch);
  EXPECT_TRUE(folder.Read("veldra.exe") == patcher);
  EXPECT_EQ(server.RangesAsked("/./veldra.exe"), (std::vector<std::string>{"bytes=20000-", ""}));
}

TEST_F(UpdatePatchSystemTest, AnExecutableOtherThanAnnouncedNeverReplacesTheOldOne) {
  folder.Write("pserv.log", PservLogBytes(Digest{}, DigestOfBytes("patcher 2"), {}));
  for (const char* served : {"patcher 3", "patcher", ""}) {
    SCOPED_TRACE(served);
    server.Serve("veldra.exe", served);
    job.state = PatchState::Running;
    EXPECT_EQ(FailureBox(UpdatePatchSystem).caption, "Error Downloading File");
    EXPECT_EQ(folder.Read("veldra.exe"), "patcher 1");
    EXPECT_FALSE(platform::PathExists("temp\\veldra.exe"));
    EXPECT_EQ(EndStateOf(ended), PatchState::Relaunch) << "the relaunch tries again";
  }
}

TEST_F(UpdatePatchSystemTest, AChangedPictureNamedTwiceIsFetchedOnceAndRelaunchesOnce) {
  Picture("\\skin\\start.bmp", "start", "new start");
  ended = UpdatePatchSystem(run);
  EXPECT_FALSE(ended);
  EXPECT_EQ(EndStateOf(ended), PatchState::Relaunch);
  EXPECT_EQ(Fetches("_skin_start_bmp.ppk"), 1);
  EXPECT_EQ(folder.Read("skin/start.bmp"), "new start");
  EXPECT_EQ(run.files.Find("\\skin\\start.bmp")->installed, DigestOfBytes("new start"));

  // The relaunched patcher finds its pictures current.
  job.state = PatchState::Running;
  EXPECT_TRUE(UpdatePatchSystem(run));
  EXPECT_EQ(Fetches("_skin_start_bmp.ppk"), 1);
}

TEST_F(UpdatePatchSystemTest, APictureWaitingInTempIsUnpackedNotFetched) {
  FileDigests& bg = Picture("\\skin\\bg.bmp", "bg", "new bg");
  bg.fetched = bg.listed;
  folder.Write("temp/_skin_bg_bmp.ppk", GzipBytes("new bg") + PackageTrailer("skin\\bg.bmp"));
  ended = UpdatePatchSystem(run);
  EXPECT_FALSE(ended);
  EXPECT_EQ(Fetches("_skin_bg_bmp.ppk"), 0);
  EXPECT_EQ(folder.Read("skin/bg.bmp"), "new bg");
  EXPECT_EQ(EndStateOf(ended), PatchState::Relaunch);
}

TEST_F(UpdatePatchSystemTest, APictureNobodyKnowsAsksForNoRelaunch) {
  // skin\gone.bmp is named by patch.sys, but is neither on disk nor in the file list.
  ASSERT_EQ(run.files.Find("\\skin\\gone.bmp"), nullptr);
  ended = UpdatePatchSystem(run);
  EXPECT_TRUE(ended);
  EXPECT_EQ(EndStateOf(ended), PatchState::Running);
}

TEST_F(UpdatePatchSystemTest, APictureOnDiskButNotListedIsAskedForAndFails) {
  FileDigests& unlisted = Picture("\\skin\\bg.bmp", "bg", "bg");
  unlisted.listed = Digest{};
  server.SetRules(R"({"_skin_bg_bmp.ppk": {"status": 404}})");
  const ScriptedPrompt::Box box = FailureBox(UpdatePatchSystem);
  EXPECT_EQ(box.text, "_skin_bg_bmp.ppk");
}

TEST_F(UpdatePatchSystemTest, AFetchedPictureWhosePackageIsGoneIsFetchedAgain) {
  FileDigests& bg = Picture("\\skin\\bg.bmp", "bg", "new bg");
  bg.fetched = bg.listed;
  EXPECT_FALSE(UpdatePatchSystem(run));
  EXPECT_EQ(Fetches("_skin_bg_bmp.ppk"), 1);
  EXPECT_EQ(folder.Read("skin/bg.bmp"), "new bg");
}

TEST_F(UpdatePatchSystemTest, APictureThatCannotBeFetchedFailsWithoutSaving) {
  Picture("\\skin\\bg.bmp", "bg", "new bg");
  server.SetRules(R"({"_skin_bg_bmp.ppk": {"status": 404}})");
  FailureBox(UpdatePatchSystem);
  EXPECT_FALSE(platform::PathExists("localfileStatus.log"));
  EXPECT_EQ(EndStateOf(ended), PatchState::Failed);
}

}  // namespace
