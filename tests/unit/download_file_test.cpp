#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>

#include "engine/http_connection.h"
#include "engine/patch_job.h"
#include "engine/release_manifest.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_servers.h"

namespace {

class DownloadFileTest : public testing::Test {
 protected:
  void SetUp() override {
    server.Reset();
    ASSERT_TRUE(platform::CreateFolder("temp"));
  }
  void ConnectTo(std::uint16_t port) {
    ASSERT_TRUE(job.connection.Connect("127.0.0.1", port, "."));
  }
  // The box names the file; its reason begins as `reason` does.
  static void ExpectFailureBoxFor(const ScriptedPrompt& prompt, const std::string& name,
                                  const std::string& reason) {
    std::vector<ScriptedPrompt::Box> shown = prompt.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, name);
    EXPECT_EQ(shown[0].caption, "Error Downloading File");
    EXPECT_EQ(shown[0].style, platform::kBoxOk);
    EXPECT_TRUE(shown[0].reason.starts_with(reason)) << shown[0].reason;
  }

  FaultServer server;
  ScratchFolder folder;
  PatchJob job;
};

TEST_F(DownloadFileTest, InPlaceReplacesTheLocalFileAndClearsTheStaging) {
  std::string content = PatternBytes(300000);
  server.Serve("patch.sys", content);
  folder.Write("patch.sys", "old");
  ConnectTo(server.port());

  ASSERT_TRUE(DownloadFile(job, "patch.sys", Arrival::InPlace));
  EXPECT_EQ(folder.Read("patch.sys"), content);
  EXPECT_FALSE(platform::PathExists("temp\\patch.sys"));
  EXPECT_EQ(job.itemText, "patch.sys");
  EXPECT_EQ(job.itemPos, 300000);
  EXPECT_EQ(job.itemRange, 300000) << "the length the server announced";
}

TEST_F(DownloadFileTest, APackageStaysInTheStagingFolder) {
  server.Serve("data_a_dat.ppk", "package");
  ConnectTo(server.port());
  ASSERT_TRUE(DownloadFile(job, "data_a_dat.ppk", Arrival::Staged));
  EXPECT_EQ(folder.Read("temp/data_a_dat.ppk"), "package");
  EXPECT_FALSE(platform::PathExists("data_a_dat.ppk"));
}

TEST_F(DownloadFileTest, AZeroByteFileDownloads) {
  server.Serve("lock.ftp", "");
  ConnectTo(server.port());
  ASSERT_TRUE(DownloadFile(job, "lock.ftp", Arrival::InPlace));
  ASSERT_TRUE(platform::PathExists("lock.ftp"));
  EXPECT_EQ(folder.Read("lock.ftp"), "");
  EXPECT_EQ(job.itemPos, 0);
}

TEST_F(DownloadFileTest, AMissingFileIsOneRequestAndLeavesNothingInTheStagingFolder) {
  server.SetRules(R"({"remote.ver": {"status": 404, "no_auth": true}})");
  folder.Write("remote.ver", "1.0\r\n");
  ConnectTo(server.port());
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);

  EXPECT_FALSE(DownloadFile(job, "remote.ver", Arrival::InPlace));
  ExpectFailureBoxFor(prompt, "remote.ver", "HTTP 404");
  EXPECT_EQ(server.Requests().size(), 1u);
  std::vector<platform::FoundEntry> left;
  ASSERT_TRUE(platform::FindEntries("temp\\*", left));
  EXPECT_TRUE(left.empty());
  EXPECT_EQ(folder.Read("remote.ver"), "1.0\r\n");
}

TEST_F(DownloadFileTest, ABodyCutShortNeverReplacesTheLocalFile) {
  std::string content = PatternBytes(100000);
  server.Serve("cut.bin", content);
  server.Serve("short.bin", content);
  // One connection closed inside the body, one announcing more than it sends.
  server.SetRules(R"({"cut.bin": {"drop_after": 40000},
                      "short.bin": {"content_length": 100100}})");
  folder.Write("cut.bin", "installed");
  folder.Write("short.bin", "installed");
  ConnectTo(server.port());

  for (const auto& [name, reason] :
       {std::pair<std::string, std::string>{"cut.bin", "cut at byte 40000 of 100000"},
        {"short.bin", "cut at byte 100000 of 100100"}}) {
    SCOPED_TRACE(name);
    ScriptedPrompt prompt;
    prompt.Then(platform::kAnswerOk);
    EXPECT_FALSE(DownloadFile(job, name, Arrival::InPlace));
    ExpectFailureBoxFor(prompt, name, reason);
    EXPECT_EQ(folder.Read(name), "installed");
  }
}

TEST_F(DownloadFileTest, AStalledServerEndsTheRequest) {
  server.Serve("stall.bin", "late");
  server.SetRules(R"({"stall.bin": {"stall": 8}})");
  job.connection.SetIdleTimeout(std::chrono::seconds(1));
  ConnectTo(server.port());
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);

  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(DownloadFile(job, "stall.bin", Arrival::InPlace));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(7));
  ExpectFailureBoxFor(prompt, "stall.bin", "no byte for 1 s at byte 0");
  EXPECT_FALSE(platform::PathExists("stall.bin"));
}

TEST_F(DownloadFileTest, AStagingFileThatCannotBeMadeIsADownloadFailure) {
  server.Serve("patch.sys", "new");
  ASSERT_TRUE(std::filesystem::remove("temp"));
  ConnectTo(server.port());
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);

  EXPECT_FALSE(DownloadFile(job, "patch.sys", Arrival::InPlace));
  ExpectFailureBoxFor(prompt, "patch.sys", "cannot create temp\\patch.sys.part: ");
  EXPECT_TRUE(server.Requests().empty()) << "nothing to receive into, nothing asked";
}

// A line that breaks off every 40000 bytes still delivers the file, each request asking only
// for the rest; the bar counts on from where the part ended.
TEST_F(DownloadFileTest, ABodyThatBreaksOffIsResumedInTheSameRun) {
  const std::string content = PatternBytes(100000);
  server.Serve("_data_a_dat.ppk", content);
  server.SetRules(R"({"_data_a_dat.ppk": {"drop_after": 40000}})");
  ConnectTo(server.port());
  ASSERT_TRUE(DownloadFile(job, "_data_a_dat.ppk", Arrival::Staged));
  EXPECT_TRUE(folder.Read("temp/_data_a_dat.ppk") == content) << "the bytes differ";
  std::vector<std::string> ranges;
  for (const LoggedRequest& request : server.Requests()) {
    if (request.status != 401) ranges.push_back(request.range);
  }
  EXPECT_EQ(ranges, (std::vector<std::string>{"", "bytes=40000-", "bytes=80000-"}));
  EXPECT_EQ(job.itemPos, 100000);
  EXPECT_FALSE(platform::PathExists("temp\\_data_a_dat.ppk.part"));
}

// A part left by an earlier run, 40000 bytes of the file as it was, meets each answer a
// server may give to the request for its rest.
TEST_F(DownloadFileTest, APartLeftByAnEarlierRunIsUsedOnlyWhereTheServerVouchesForIt) {
  const std::string old = PatternBytes(100000);
  const std::string changed = "changed" + old.substr(7);
  struct Case {
    const char* what;
    std::string serverHas;
    std::string rules;
    std::string tag;
    std::vector<std::string> ranges;  // the requests' Range headers
  };
  const std::string etag = "\"v1\"";
  const std::string resumed = R"({"f.ppk": {"etag": "\"v1\""}})";
  const Case cases[] = {
      {"the same file", old, resumed, "100000\n" + etag + "\n", {"bytes=40000-"}},
      {"no validator was sent",
       old,
       R"({"f.ppk": {"no_validator": true}})",
       "100000\n\n",
       {"bytes=40000-"}},
      {"the file changed",
       changed,
       R"({"f.ppk": {"etag": "\"v2\""}})",
       "100000\n" + etag + "\n",
       {"bytes=40000-"}},
      {"ranges are ignored",
       old,
       R"({"f.ppk": {"ignore_range": true}})",
       "100000\n" + etag + "\n",
       {"bytes=40000-"}},
      {"the file is shorter now",
       old.substr(0, 30000),
       resumed,
       "200000\n" + etag + "\n",
       {"bytes=40000-", ""}},
      {"the total differs", old + "more", resumed, "100000\n" + etag + "\n", {"bytes=40000-", ""}},
      {"a tag that does not parse", old, resumed, "lots\n" + etag + "\n", {""}},
      {"a validator with a line break", old, resumed, "100000\n\"v1\"\r\nX: y\n", {""}},
  };
  ConnectTo(server.port());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.Reset();
    server.Serve("f.ppk", c.serverHas);
    server.SetRules(c.rules);
    folder.Write("temp/f.ppk.part", old.substr(0, 40000));
    folder.Write("temp/f.ppk.tag", c.tag);
    ASSERT_TRUE(DownloadFile(job, "f.ppk", Arrival::Staged));
    EXPECT_TRUE(folder.Read("temp/f.ppk") == c.serverHas) << "the bytes differ";
    std::vector<std::string> ranges;
    for (const LoggedRequest& request : server.Requests()) {
      if (request.status != 401) ranges.push_back(request.range);
    }
    EXPECT_EQ(ranges, c.ranges);
    EXPECT_FALSE(platform::PathExists("temp\\f.ppk.part"));
    EXPECT_FALSE(platform::PathExists("temp\\f.ppk.tag"));
  }
}

// With a release key a resumed file is checked whole: the part's bytes count as much as the
// rest's, and a part changed on the disk is not installed.
TEST_F(DownloadFileTest, AResumedFileMustBeTheSignedReleasesWhole) {
  const std::string content = PatternBytes(100000);
  platform::Sha256 hash;
  hash.Add(content.data(), content.size());
  job.releaseKey = platform::P256PublicKey{};
  job.manifest = ReleaseManifest{1, "", {{"f.ppk", ManifestEntry{hash.Finish(), content.size()}}}};
  server.Serve("f.ppk", content);
  server.SetRules(R"({"f.ppk": {"etag": "\"v1\""}})");
  ConnectTo(server.port());
  std::string changed = content.substr(0, 40000);
  changed[0] ^= 1;
  const std::tuple<const char*, std::string, bool> cases[] = {
      {"a sound part", content.substr(0, 40000), true},
      {"a part changed on the disk", changed, false},
  };
  for (const auto& [what, part, installed] : cases) {
    SCOPED_TRACE(what);
    folder.Write("temp/f.ppk.part", part);
    folder.Write("temp/f.ppk.tag", "100000\n\"v1\"\n");
    ScriptedPrompt prompt;
    if (!installed) prompt.Then(platform::kAnswerOk);
    EXPECT_EQ(DownloadFile(job, "f.ppk", Arrival::Staged), installed);
    EXPECT_EQ(server.Requests().back().range, "bytes=40000-");
    EXPECT_EQ(platform::PathExists("temp\\f.ppk"), installed);
    EXPECT_FALSE(platform::PathExists("temp\\f.ppk.part"));
    platform::RemoveFile("temp\\f.ppk");
  }
}

// The window's quit in the middle of a large file: the server trickles the body after its
// first 256 KiB, and the stop comes once those have arrived.
TEST_F(DownloadFileTest, AStopWhileTheBodyArrivesEndsTheDownloadWithinOneRead) {
  constexpr std::int32_t kAtOnce = 256 * 1024;
  constexpr std::int32_t kOneRead = 512;
  const std::string content = PatternBytes(2 * 1024 * 1024);
  server.Serve("data_big_dat.ppk", content);
  server.Serve("patch.sys", content);
  const std::string slow = R"({"slow_after": )" + std::to_string(kAtOnce) + "}";
  server.SetRules(R"({"data_big_dat.ppk": )" + slow + R"(, "patch.sys": )" + slow + "}");
  folder.Write("patch.sys", "installed");
  ConnectTo(server.port());

  for (const auto& [name, inPlace] :
       {std::pair<std::string, Arrival>{"data_big_dat.ppk", Arrival::Staged},
        {"patch.sys", Arrival::InPlace}}) {
    SCOPED_TRACE(name);
    job.state = PatchState::Running;
    std::atomic<bool> returned{false};
    std::int32_t atStop = -1;
    std::thread window([&, name = name] {
      while (!returned) {
        {
          std::lock_guard<std::mutex> hold(job.lock);
          if (job.itemText == name && job.itemPos >= kAtOnce) {
            atStop = job.itemPos;
            job.state = PatchState::Stop;
            return;
          }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    // No box may show: the test program refuses every box it did not script.
    EXPECT_FALSE(DownloadFile(job, name, inPlace));
    returned = true;
    window.join();
    ASSERT_GE(atStop, kAtOnce) << "the download ended before the stop";
    EXPECT_LE(job.itemPos - atStop, kOneRead);
    EXPECT_FALSE(platform::PathExists("temp\\" + name)) << "nothing half-received is taken";
  }
  EXPECT_TRUE(folder.Read("patch.sys") == "installed") << "the local file was replaced";
  EXPECT_FALSE(platform::PathExists("temp\\patch.sys.part")) << "only checked files resume";

  // The next run, on the same connection, gets the rest of the package.
  server.SetRules("{}");
  job.state = PatchState::Running;
  ASSERT_TRUE(DownloadFile(job, "data_big_dat.ppk", Arrival::Staged));
  EXPECT_TRUE(folder.Read("temp/data_big_dat.ppk") == content) << "the bytes differ";
  EXPECT_TRUE(server.Requests().back().range.starts_with("bytes=")) << "asked from the start";
}

TEST_F(DownloadFileTest, TenMegabytesFromNginxArriveWhole) {
  NginxServer nginx;
  std::string content = PatternBytes(10 * 1024 * 1024);
  nginx.Serve("game/big.bin", content);
  ASSERT_TRUE(job.connection.Connect("127.0.0.1", nginx.port(), "game"));

  ASSERT_TRUE(DownloadFile(job, "big.bin", Arrival::InPlace));
  EXPECT_TRUE(folder.Read("big.bin") == content) << "the bytes differ";
  std::vector<std::string> log = nginx.AccessLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "quarn \"GET /game/big.bin HTTP/1.1\" 200 10485760 \"Quarn Patch Client\"");

  // nginx serves the rest of a part as it is asked for it.
  nginx.Serve("game/_big_bin.ppk", content);
  folder.Write("temp/_big_bin.ppk.part", content.substr(0, 4 << 20));
  folder.Write("temp/_big_bin.ppk.tag", "10485760\n\n");
  ASSERT_TRUE(DownloadFile(job, "_big_bin.ppk", Arrival::Staged));
  EXPECT_TRUE(folder.Read("temp/_big_bin.ppk") == content) << "the bytes differ";
  EXPECT_EQ(nginx.AccessLog().back(),
            "quarn \"GET /game/_big_bin.ppk HTTP/1.1\" 206 6291456 \"Quarn Patch Client\"");
}

}  // namespace
