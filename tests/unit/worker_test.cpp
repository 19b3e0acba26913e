#include "engine/worker.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/package.h"
#include "engine/patch_job.h"
#include "engine/pserv_log.h"
#include "engine/status_log.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "tests/support/gzip_bytes.h"
#include "tests/support/patch_sys.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/stage_test.h"
#include "tests/support/test_servers.h"

namespace {

// A server with one game file for a folder whose patcher is current.
class PatchWorkerRunTest : public StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    std::string config = ZoneConfig("Live", {"127.0.0.1:" + std::to_string(server.port())});
    folder.Write("patch.sys", config);
    folder.Write("local.ver", "1.0");
    server.Serve("patch.sys", config);
    std::string list = FileListBytes({{"\\data\\a.dat", DigestOfBytes("a")}});
    server.Serve("filelist.log", list);
    server.Serve("pserv.log", PservLogBytes(DigestOfBytes(list), DigestOfBytes("patcher"), {}));
    server.Serve("_data_a_dat.ppk", GzipBytes("a") + PackageTrailer("data\\a.dat"));
    folder.Write("veldra.exe", "patcher");
    server.Serve("remote.ver", "1.0");
    server.Serve("latest.ver", "1.0");
  }
  bool Requested(const std::string& path) const {
    for (const LoggedRequest& request : server.Requests()) {
      if (request.path == path) return true;
    }
    return false;
  }
};

TEST_F(PatchWorkerRunTest, AMaintenanceMarkerStopsTheRun) {
  server.Serve("lock.ftp", "");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  RunPatchWorker(job);
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].text, "Server is under maintenance, please try again later");
  EXPECT_EQ(prompt.Shown()[0].caption, "Maintenance");
  EXPECT_EQ(CurrentState(job), PatchState::Failed);
}

TEST_F(PatchWorkerRunTest, NoMarkerLetsTheRunGoOn) {
  RunPatchWorker(job);
  EXPECT_TRUE(Requested("/./lock.ftp"));
  EXPECT_EQ(CurrentState(job), PatchState::Done);
  // Every stage ran: the game file arrived and the status log knows it.
  EXPECT_EQ(folder.Read("data/a.dat"), "a");
  FileDigestMap saved;
  ReadStatusLog(folder.Read("localfileStatus.log"), saved);
  ASSERT_NE(saved.Find("\\data\\a.dat"), nullptr);
  EXPECT_EQ(saved.Find("\\data\\a.dat")->installed, DigestOfBytes("a"));
  EXPECT_NE(saved.Find("\\local.ver"), nullptr);
}

TEST_F(PatchWorkerRunTest, AServerThatCannotAnswerTheProbeLetsTheRunGoOn) {
  server.SetRules(R"({"lock.ftp": {"hang_up": true}})");
  RunPatchWorker(job);
  EXPECT_EQ(CurrentState(job), PatchState::Done);
}

TEST_F(PatchWorkerRunTest, AFailedStageEndsInFailed) {
  server.SetRules(R"({"remote.ver": {"status": 404}})");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk).Then(platform::kAnswerOk);
  RunPatchWorker(job);
  EXPECT_EQ(CurrentState(job), PatchState::Failed);
  EXPECT_FALSE(Requested("/./lock.ftp"));
}

TEST_F(PatchWorkerRunTest, AStateAStageLeftSurvives) {
  // The server no longer lists itself for the zone: relaunch.
  server.Serve("patch.sys", ZoneConfig("Live", {"other.invalid"}));
  RunPatchWorker(job);
  EXPECT_EQ(CurrentState(job), PatchState::Relaunch);
}

TEST_F(PatchWorkerRunTest, TheDownloadPageLeavesStop) {
  server.Serve("remote.ver", "2.0");
  platform::SetShellHook([](const std::string&) { return true; });
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerYes);
  RunPatchWorker(job);
  platform::SetShellHook(nullptr);
  EXPECT_EQ(CurrentState(job), PatchState::Stop);
}

TEST_F(PatchWorkerRunTest, AStopDuringAStageEndsTheRunBeforeTheNext) {
  server.SetRules(R"({"latest.ver": {"stall": 1.5}})");
  PatchWorker worker;
  ASSERT_TRUE(worker.Start("", job.configPath, PatchRoutine()));
  for (int i = 0; i < 400 && !Requested("/./latest.ver"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  worker.Stop();
  EXPECT_EQ(worker.Poll().state, PatchState::Stop);
  EXPECT_FALSE(Requested("/./lock.ftp")) << "the version check went on, the probe did not";
}

// The player presses Quit while the unpacking shows a box: the run ends as the stop it was
// asked for, not as a failure, and nothing more is shown.
TEST_F(PatchWorkerRunTest, AStopDuringTheUnpackingEndsTheRunAsAStop) {
  server.Serve("_data_a_dat.ppk", "not gzip" + PackageTrailer("data\\a.dat"));
  std::vector<platform::PromptBox> shown;
  platform::SetPromptHook([&](const platform::PromptBox& box) {
    shown.push_back(box);
    SetState(job, PatchState::Stop);  // as the window's Quit does, beside the box
    return platform::kAnswerOk;
  });
  RunPatchWorker(job);
  RefuseUnexpectedBoxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Error Decompress File");
  EXPECT_EQ(CurrentState(job), PatchState::Stop);
}

TEST_F(PatchWorkerRunTest, AStopBeforeTheStartRunsNothing) {
  job.state = PatchState::Stop;
  RunPatchWorker(job);
  EXPECT_EQ(CurrentState(job), PatchState::Stop);
  EXPECT_TRUE(server.Requests().empty());
}

// A run whose every file takes long to arrive: the server sends the first KiB of the file
// under test at once and the rest 16 bytes at a time, and a stop comes meanwhile.
struct ReceivedFile {
  const char* name;       // as the server has it
  const char* installed;  // where the run would put it
  const char* shown;      // the item text while it arrives
};

class StopWhileReceivingTest : public PatchWorkerRunTest,
                               public testing::WithParamInterface<ReceivedFile> {
 protected:
  static constexpr std::int32_t kAtOnce = 1024;
  static constexpr std::size_t kLarge = 16 * 1024;  // about ten seconds at that pace

  void SetUp() override {
    PatchWorkerRunTest::SetUp();
    std::string comment = ";";
    comment.append(kLarge, 'x').append("\r\n");
    served_["patch.sys"] =
        ZoneConfig("Live", {"127.0.0.1:" + std::to_string(server.port())}, ".", comment);
    served_["remote.ver"] = served_["latest.ver"] = "1.0\r\n" + std::string(kLarge, ' ');
    gameFile_ = PatternBytes(kLarge);
    served_["_data_a_dat.ppk"] = GzipBytes(gameFile_) + PackageTrailer("data\\a.dat");
    std::string list = FileListBytes({{"\\data\\a.dat", DigestOfBytes(gameFile_)}});
    served_["filelist.log"] = list;
    served_["pserv.log"] = PservLogBytes(DigestOfBytes(list), DigestOfBytes("patcher"), {});
    for (const auto& [name, content] : served_) server.Serve(name, content);
  }

  // Polls as the window does until the file is partly in.
  static bool Arriving(PatchWorker& worker, const std::string& name) {
    for (int look = 0; look < 3000; ++look) {
      PatchSnapshot seen = worker.Poll();
      if (seen.itemText == name && seen.bytesDone >= kAtOnce) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::map<std::string, std::string> served_;
  std::string gameFile_;
};

// No box may show (the test program refuses every box it did not script): a stop is no
// failure, and no stage may report one for it.
TEST_P(StopWhileReceivingTest, EndsTheRunAsAStopAndTheNextRunCompletes) {
  const std::string name = GetParam().name;
  server.SetRules(R"({")" + name + R"(": {"slow_after": )" + std::to_string(kAtOnce) +
                  R"(, "piece": 16}})");
  const std::string before = folder.Read(GetParam().installed);
  {
    PatchWorker worker;
    ASSERT_TRUE(worker.Start("", job.configPath, PatchRoutine()));
    ASSERT_TRUE(Arriving(worker, GetParam().shown));
    ASSERT_TRUE(worker.Stop()) << "the worker gave the file up";
    // What it still does after giving up (closing the request, saving the status log) ends
    // soon; the stop itself need not wait for it.
    ASSERT_TRUE(worker.WaitForEnd(std::chrono::milliseconds(10000)));
    PatchSnapshot seen = worker.Poll();
    EXPECT_EQ(seen.state, PatchState::Stop);
    EXPECT_EQ(seen.itemText, GetParam().shown);
    EXPECT_LT(seen.bytesDone, seen.bytesTotal) << "the file was not finished";
  }
  EXPECT_TRUE(folder.Read(GetParam().installed) == before) << "a part was installed";
  EXPECT_FALSE(platform::PathExists("temp\\" + name)) << "a part waits in temp";

  server.SetRules("{}");
  RunPatchWorker(job);
  EXPECT_EQ(CurrentState(job), PatchState::Done);
  EXPECT_TRUE(folder.Read("data/a.dat") == gameFile_) << "the game file differs";
  EXPECT_TRUE(folder.Read("patch.sys") == served_["patch.sys"]) << "patch.sys differs";
}

INSTANTIATE_TEST_SUITE_P(EachStageFetching, StopWhileReceivingTest,
                         testing::Values(ReceivedFile{"patch.sys", "patch.sys", "patch.sys"},
                                         ReceivedFile{"remote.ver", "remote.ver", "remote.ver"},
                                         ReceivedFile{"latest.ver", "latest.ver", "latest.ver"},
                                         ReceivedFile{"_data_a_dat.ppk", "data/a.dat",
                                                      "data\\a.dat"}),
                         [](const testing::TestParamInfo<ReceivedFile>& file) {
                           std::string name = file.param.name;
                           for (char& c : name)
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
