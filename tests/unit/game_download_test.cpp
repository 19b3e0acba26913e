#include "engine/game_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/file_digests.h"
#include "engine/package.h"
#include "engine/patch_run.h"
#include "engine/status_log.h"
#include "engine/transfer_pool.h"
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
    FileDigests& digests = run.files.FindOrAdd(key);
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

// Each file waits a while before its body: the server sees as many at once as are let run.
TEST_F(DownloadGameFilesTest, FilesAreFetchedAsManyAtOnceAsTheRunLets) {
  struct Case {
    std::optional<int> transfers;
    const char* patchSys;
    int atOnce;
  };
  const Case cases[] = {
      {std::nullopt, "", kDefaultTransfers},
      {std::nullopt, "[Download]\r\nTransfers=3\r\n", 3},
      {1, "[Download]\r\nTransfers=3\r\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.atOnce);
    server.Reset();
    server.SetRules(R"({"*": {"stall": 1}})");
    folder.Write("patch.sys", c.patchSys);
    run.inputs.transfers = c.transfers;
    run.files = FileDigestMap();
    for (int file = 0; file <= c.atOnce; ++file) {
      Listed("\\f" + std::to_string(file), "content");
    }
    ASSERT_TRUE(DownloadGameFiles(run));
    int most = 0;
    for (const LoggedRequest& request : server.Requests()) most = std::max(most, request.atOnce);
    EXPECT_EQ(most, c.atOnce);
    EXPECT_EQ(folder.Read("f" + std::to_string(c.atOnce)), "content");
  }
}

// A server that allows an address only so many connections answers the rest 503: that file
// goes to a transfer that goes on, one connection fewer. The last one left fails as ever.
TEST_F(DownloadGameFilesTest, ABusyServerCostsAConnectionNotTheRun) {
  for (int file = 0; file < 6; ++file) Listed("\\f" + std::to_string(file), "content");
  server.SetRules(R"({"_f2.ppk": {"status": 503, "first": 1}, "*": {"stall": 0.3}})");
  ASSERT_TRUE(DownloadGameFiles(run)) << "no box may show";
  EXPECT_EQ(folder.Read("f2"), "content");
  int asked = 0;
  for (const LoggedRequest& request : server.Requests()) asked += request.path == "/./_f2.ppk";
  EXPECT_EQ(asked, 2);

  server.Reset();
  run.files = FileDigestMap();
  Listed("\\alone", "content");
  server.SetRules(R"({"_alone.ppk": {"status": 503}})");
  const ScriptedPrompt::Box box = FailureBox(DownloadGameFiles);
  EXPECT_EQ(box.text, "_alone.ppk");
  EXPECT_EQ(ended.reason, "_alone.ppk: HTTP 503");
}

// Quit while eight large files arrive: every transfer ends, and what came waits to resume.
TEST_F(DownloadGameFilesTest, AStopEndsEveryTransferAndKeepsWhatArrived) {
  const std::string content = PatternBytes(kInMemoryUpTo + 1);
  for (int file = 0; file < 8; ++file) Listed("\\f" + std::to_string(file), content);
  server.SetRules(R"({"*": {"slow_after": 4096, "piece": 64}})");
  std::thread stopper([this] {
    for (int look = 0; look < 500 && CurrentState(job) == PatchState::Running; ++look) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::lock_guard<std::mutex> hold(job.lock);
      if (job.bytesDone >= 8 * 4096) job.state = PatchState::Stop;
    }
  });
  ended = DownloadGameFiles(run);
  stopper.join();
  EXPECT_TRUE(ended.stopped());
  for (int file = 0; file < 8; ++file) {
    const std::string key = "f" + std::to_string(file);
    EXPECT_FALSE(platform::PathExists(key)) << key;
    EXPECT_TRUE(platform::PathExists("temp\\" + PackageNameOf("\\" + key) + ".part")) << key;
  }
}

// The item names a file that still moves: the large one, once the small ones are in.
TEST_F(DownloadGameFilesTest, TheItemNamesAFileStillArriving) {
  Listed("\\a\\large.pak", PatternBytes(64 * 1024));
  for (int file = 0; file < 4; ++file) Listed("\\small" + std::to_string(file), "small");
  server.SetRules(R"({"_a_large_pak.ppk": {"slow_after": 4096, "piece": 512}})");
  std::string named;
  std::thread looker([this, &named] {
    for (int look = 0; look < 500; ++look) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::lock_guard<std::mutex> hold(job.lock);
      if (job.stagePos == 4) {
        named = job.itemText;
        job.state = PatchState::Stop;
        return;
      }
    }
  });
  ended = DownloadGameFiles(run);
  looker.join();
  EXPECT_EQ(named, "a\\large.pak");
}

TEST_F(DownloadGameFilesTest, FetchesWhatDiffersAndLeavesUnlistedFilesAlone) {
  Listed("\\data\\new.dat", "new");
  FileDigests& changed = Listed("\\old.dat", "second");
  changed.installed = changed.fetched = DigestOfBytes("first");
  folder.Write("old.dat", "first");
  FileDigests& current = Listed("\\same.dat", "same");
  current.installed = current.fetched = current.listed;
  folder.Write("mine.cfg", "local settings");
  run.files.FindOrAdd("\\mine.cfg").installed = DigestOfBytes("local settings");

  ASSERT_TRUE(DownloadGameFiles(run));
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
  ASSERT_TRUE(DownloadGameFiles(run));
  EXPECT_EQ(Fetches("\\a.dat"), 0);
  EXPECT_EQ(folder.Read("a.dat"), "a");
}

TEST_F(DownloadGameFilesTest, AFetchedPackageThatIsGoneIsFetchedAgain) {
  FileDigests& gone = Listed("\\a.dat", "a");
  gone.fetched = gone.listed;
  ASSERT_TRUE(DownloadGameFiles(run));
  EXPECT_EQ(Fetches("\\a.dat"), 1);
  EXPECT_EQ(folder.Read("a.dat"), "a");
}

TEST_F(DownloadGameFilesTest, AStalePackageOfTheSameNameIsReplaced) {
  Listed("\\a.dat", "current");
  folder.Write("temp/_a_dat.ppk", GzipBytes("outdated") + PackageTrailer("a.dat"));
  ASSERT_TRUE(DownloadGameFiles(run));
  EXPECT_EQ(Fetches("\\a.dat"), 1);
  EXPECT_EQ(folder.Read("a.dat"), "current");
}

// The others in flight end and are installed, and the log tells the next run so.
TEST_F(DownloadGameFilesTest, AMissingFileFailsTheRunOnceTheOthersAreIn) {
  for (const char* key : {"\\a.dat", "\\b.dat", "\\c.dat", "\\d.dat"}) Listed(key, key);
  server.SetRules(R"({"_b_dat.ppk": {"status": 404}})");
  const ScriptedPrompt::Box box = FailureBox(DownloadGameFiles);
  EXPECT_EQ(box.text, "_b_dat.ppk");
  EXPECT_EQ(EndStateOf(ended), PatchState::Failed);
  EXPECT_EQ(ended.reason, "_b_dat.ppk: HTTP 404");
  FileDigestMap saved;
  ReadStatusLog(folder.Read("localfileStatus.log"), saved);
  EXPECT_TRUE(IsZeroDigest(saved.Find("\\b.dat")->fetched));
  for (const char* key : {"\\a.dat", "\\c.dat", "\\d.dat"}) {
    if (!platform::PathExists(std::string(key + 1))) continue;  // not begun before the failure
    EXPECT_EQ(folder.Read(key + 1), key);
    EXPECT_EQ(saved.Find(key)->installed, DigestOfBytes(key));
  }
}

TEST_F(DownloadGameFilesTest, ARefusedNameFailsTheRunOnceTheRestIsInstalled) {
  Listed("\\a.dat", "alpha");
  run.refusedName = "\\..\\outside.dat (a \"..\")";
  const ScriptedPrompt::Box box = FailureBox(DownloadGameFiles);
  EXPECT_EQ(folder.Read("a.dat"), "alpha");
  EXPECT_NE(box.text.find("\\..\\outside.dat"), std::string::npos);
}

// A network in the way may answer with its own page; the run then installs what it can and
// ends failed, naming the files that are not as listed, never done over stale files.
TEST_F(DownloadGameFilesTest, TheRunIsDoneOnlyWhenEveryListedFileIsAsListed) {
  const std::string page = "<html><body>Sign in to the airport Wi-Fi</body></html>";
  Listed("\\good.dat", "good");
  for (const char* key : {"\\a.dat", "\\b.dat", "\\c.dat", "\\d.dat"}) {
    FileDigests& stale = Listed(key, "new");
    stale.installed = DigestOfBytes("old");
    folder.Write(std::string(key).substr(1), "old");
    server.Serve(PackageNameOf(key), page);
  }
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk).Then(platform::kAnswerOk);

  ended = DownloadGameFiles(run);

  EXPECT_FALSE(ended);
  EXPECT_EQ(EndStateOf(ended), PatchState::Failed);
  EXPECT_EQ(folder.Read("good.dat"), "good");
  EXPECT_EQ(folder.Read("a.dat"), "old");
  ASSERT_EQ(prompt.Shown().size(), 2u) << "the first package's box, then the run's end";
  EXPECT_EQ(prompt.Shown()[0].caption, "Error Decompress File");
  const std::string end = prompt.Shown()[1].text;
  EXPECT_EQ(end.rfind("4 files were not installed: \\a.dat (not a package: no trailer", 0), 0u)
      << end;
  EXPECT_NE(end.find("; and 1 more."), std::string::npos) << end;
  EXPECT_EQ(CurrentFailureReason(job).rfind("4 files were not installed: \\a.dat", 0), 0u);
  FileDigestMap saved;
  ReadStatusLog(folder.Read("localfileStatus.log"), saved);
  EXPECT_TRUE(IsZeroDigest(saved.Find("\\a.dat")->fetched)) << "fetched again next run";
}

// Bytes that were right once may not be now: a part of another file's bytes, or a package an
// earlier run left that was damaged on the disk, cost one whole fetch in the same run.
TEST_F(DownloadGameFilesTest, DamagedBytesKeptFromBeforeCostOneWholeFetch) {
  const std::string content = PatternBytes(200000);
  const std::string package = GzipBytes(content) + PackageTrailer("a.dat");
  struct Case {
    const char* what;
    std::string part;      // temp\_a_dat.ppk.part, with its tag
    std::string leftOver;  // temp\_a_dat.ppk, fetched by an earlier run
    std::vector<std::string> ranges;
  };
  const Case cases[] = {
      {"a part of other bytes",
       std::string(package.size() / 2, 'x'),
       "",
       {"bytes=" + std::to_string(package.size() / 2) + "-", ""}},
      {"a waiting package damaged on the disk",
       "",
       package.substr(0, package.size() - 9) + "x",
       {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.Reset();
    server.SetRules(R"({"_a_dat.ppk": {"etag": "\"v1\""}})");
    run.files.FindOrAdd("\\a.dat") = FileDigests{};
    FileDigests& digests = Listed("\\a.dat", content);
    if (!c.part.empty()) {
      folder.Write("temp/_a_dat.ppk.part", c.part);
      folder.Write("temp/_a_dat.ppk.tag", std::to_string(package.size()) + "\n\"v1\"\n");
    } else {
      digests.fetched = digests.listed;
      folder.Write("temp/_a_dat.ppk", c.leftOver);
    }
    ScriptedPrompt prompt;
    ASSERT_TRUE(DownloadGameFiles(run));
    EXPECT_TRUE(folder.Read("a.dat") == content);
    EXPECT_TRUE(prompt.Shown().empty());
    EXPECT_EQ(server.RangesAsked(), c.ranges);
    platform::RemoveFile("a.dat");
  }
}

TEST_F(DownloadGameFilesTest, AStopEndsBeforeTheNextFile) {
  Listed("\\a.dat", "a");
  job.state = PatchState::Stop;
  ended = DownloadGameFiles(run);
  EXPECT_FALSE(ended);
  EXPECT_EQ(Fetches("\\a.dat"), 0);
  EXPECT_EQ(EndStateOf(ended), PatchState::Stop);
  EXPECT_TRUE(platform::PathExists("localfileStatus.log"));
}

}  // namespace
