#include "engine/download_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>

#include "engine/control_files.h"
#include "engine/http_connection.h"
#include "engine/patch_run.h"
#include "engine/release_manifest.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "tests/support/patch_sys.h"
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
    ASSERT_TRUE(run.connection.Connect("127.0.0.1", port, "."));
  }
  // The server has f.ppk as `serverHas`, answering by `rules`; temp\ holds a part of it
  // with its tag, as an earlier run left them.
  void PartWaits(const std::string& serverHas, const std::string& rules, const std::string& part,
                 const std::string& tag) {
    server.Reset();
    server.Serve("f.ppk", serverHas);
    server.SetRules(rules);
    folder.Write("temp/f.ppk.part", part);
    folder.Write("temp/f.ppk.tag", tag);
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
  PatchRun run{job};
};

TEST_F(DownloadFileTest, InPlaceReplacesTheLocalFileAndClearsTheStaging) {
  std::string content = PatternBytes(300000);
  server.Serve("patch.sys", content);
  folder.Write("patch.sys", "old");
  ConnectTo(server.port());

  ASSERT_TRUE(DownloadFile(run, "patch.sys", Arrival::InPlace));
  EXPECT_EQ(folder.Read("patch.sys"), content);
  EXPECT_FALSE(platform::PathExists("temp\\patch.sys"));
  EXPECT_EQ(job.itemText, "patch.sys");
  EXPECT_EQ(job.bytesDone, 300000);
  EXPECT_EQ(job.bytesTotal, 300000) << "the length the server announced";
}

TEST_F(DownloadFileTest, APackageStaysInTheStagingFolder) {
  server.Serve("data_a_dat.ppk", "package");
  ConnectTo(server.port());
  ASSERT_TRUE(DownloadFile(run, "data_a_dat.ppk", Arrival::Staged));
  EXPECT_EQ(folder.Read("temp/data_a_dat.ppk"), "package");
  EXPECT_FALSE(platform::PathExists("data_a_dat.ppk"));
}

TEST_F(DownloadFileTest, AZeroByteFileDownloads) {
  server.Serve("lock.ftp", "");
  ConnectTo(server.port());
  ASSERT_TRUE(DownloadFile(run, "lock.ftp", Arrival::InPlace));
  ASSERT_TRUE(platform::PathExists("lock.ftp"));
  EXPECT_EQ(folder.Read("lock.ftp"), "");
  EXPECT_EQ(job.bytesDone, 0);
}

TEST_F(DownloadFileTest, AMissingFileIsOneRequestAndLeavesNothingInTheStagingFolder) {
  server.SetRules(R"({"remote.ver": {"status": 404, "no_auth": true}})");
  folder.Write("remote.ver", "1.0\r\n");
  ConnectTo(server.port());
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);

  EXPECT_FALSE(DownloadFile(run, "remote.ver", Arrival::InPlace));
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
    EXPECT_FALSE(DownloadFile(run, name, Arrival::InPlace));
    ExpectFailureBoxFor(prompt, name, reason);
    EXPECT_EQ(folder.Read(name), "installed");
  }
}

TEST_F(DownloadFileTest, AStalledServerEndsTheRequest) {
  server.Serve("stall.bin", "late");
  server.SetRules(R"({"stall.bin": {"stall": 8}})");
  run.connection.SetIdleTimeout(std::chrono::seconds(1));
  ConnectTo(server.port());
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);

  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(DownloadFile(run, "stall.bin", Arrival::InPlace));
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

  EXPECT_FALSE(DownloadFile(run, "patch.sys", Arrival::InPlace));
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
  ASSERT_TRUE(DownloadFile(run, "_data_a_dat.ppk", Arrival::Staged));
  EXPECT_TRUE(folder.Read("temp/_data_a_dat.ppk") == content) << "the bytes differ";
  EXPECT_EQ(server.RangesAsked(), (std::vector<std::string>{"", "bytes=40000-", "bytes=80000-"}));
  EXPECT_EQ(job.bytesDone, 100000);
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
    PartWaits(c.serverHas, c.rules, old.substr(0, 40000), c.tag);
    ASSERT_TRUE(DownloadFile(run, "f.ppk", Arrival::Staged));
    EXPECT_TRUE(folder.Read("temp/f.ppk") == c.serverHas) << "the bytes differ";
    EXPECT_EQ(server.RangesAsked(), c.ranges);
    EXPECT_FALSE(platform::PathExists("temp\\f.ppk.part"));
    EXPECT_FALSE(platform::PathExists("temp\\f.ppk.tag"));
  }
}

// With a release key a file put together from a part is checked whole. A part damaged on the
// disk, or a rest that a broken cache made up, costs one whole fetch in the same run; only a
// file that is wrong fetched whole too is refused.
TEST_F(DownloadFileTest, AResumedFileThatIsNotTheSignedOneIsFetchedWholeOnce) {
  const std::string content = PatternBytes(100000);
  std::string damagedPart = content.substr(0, 40000);
  damagedPart[0] ^= 1;
  std::string changedOnServer = content;
  changedOnServer[99999] ^= 1;
  struct Case {
    const char* what;
    std::string part;
    std::string serverHas;
    std::string rules;
    bool installed;
    bool resumed;
    std::vector<std::string> ranges;
  };
  const std::string sameTag = R"({"f.ppk": {"etag": "\"v1\""}})";
  const Case cases[] = {
      {"a sound part", content.substr(0, 40000), content, sameTag, true, true, {"bytes=40000-"}},
      {"a part changed on the disk",
       damagedPart,
       content,
       sameTag,
       true,
       false,
       {"bytes=40000-", ""}},
      {"a cache that sends other bytes",
       content.substr(0, 40000),
       content,
       R"({"f.ppk": {"etag": "\"v1\"", "other_bytes": true}})",
       true,
       false,
       {"bytes=40000-", ""}},
      {"a file that is not the signed one",
       content.substr(0, 40000),
       changedOnServer,
       sameTag,
       false,
       false,
       {"bytes=40000-", ""}},
  };
  platform::Sha256 hash;
  hash.Add(content.data(), content.size());
  run.inputs.releaseKey = platform::P256PublicKey{};
  run.manifest = ReleaseManifest{1, "", {{"f.ppk", ManifestEntry{hash.Finish(), content.size()}}}};
  ConnectTo(server.port());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PartWaits(c.serverHas, c.rules, c.part, "100000\n\"v1\"\n");
    ScriptedPrompt prompt;
    if (!c.installed) prompt.Then(platform::kAnswerOk);
    bool resumed = !c.resumed;
    EXPECT_EQ(static_cast<bool>(DownloadFile(run, "f.ppk", Arrival::Staged, &resumed)),
              c.installed);
    if (c.installed) {
      EXPECT_EQ(resumed, c.resumed);
    }
    EXPECT_EQ(server.RangesAsked(), c.ranges);
    EXPECT_EQ(prompt.Shown().size(), c.installed ? 0u : 1u) << "the first failure is quiet";
    if (c.installed) {
      EXPECT_TRUE(folder.Read("temp/f.ppk") == content) << "the bytes differ";
    }
    EXPECT_FALSE(platform::PathExists("temp\\f.ppk.part"));
    platform::RemoveFile("temp\\f.ppk");
  }
}

// What no patch server sends, answered for a package whose part waits and for patch.sys:
// nothing of it is kept, the part stays for a network that lets the server answer, and the
// installed patch.sys stays as it was.
TEST_F(DownloadFileTest, APortalPageOrAPieceOfTheFileIsRefusedBeforeItIsKept) {
  const std::string content = PatternBytes(100000);
  struct Case {
    const char* what;
    std::string rules;
    std::string reason;
  };
  const Case cases[] = {
      {"a portal's page", R"({"*": {"portal": true}})", kWebPageAnswer},
      {"a piece for a request that asked for all",
       R"({"patch.sys": {"fragment": 5000}, "f.ppk": {"ignore_range": true}, "g.ppk": {"fragment": 5000}})",
       "the answer is a piece of the file (HTTP 206)"},
  };
  ConnectTo(server.port());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.Reset();
    for (const char* name : {"patch.sys", "f.ppk", "g.ppk"}) server.Serve(name, content);
    server.SetRules(c.rules);
    folder.Write("patch.sys", "installed");
    folder.Write("temp/f.ppk.part", content.substr(0, 40000));
    folder.Write("temp/f.ppk.tag", "100000\n\n");
    const std::pair<const char*, Arrival> downloads[] = {
        {"patch.sys", Arrival::InPlace}, {"f.ppk", Arrival::Staged}, {"g.ppk", Arrival::Staged}};
    for (const auto& [name, arrival] : downloads) {
      SCOPED_TRACE(name);
      // A portal answers the part's request itself; a server ignoring the range answers it
      // whole, and the piece then comes for the file asked for whole.
      if (std::string(name) == "f.ppk" && c.reason != kWebPageAnswer) continue;
      ScriptedPrompt prompt;
      prompt.Then(platform::kAnswerOk);
      EXPECT_FALSE(DownloadFile(run, name, arrival));
      ExpectFailureBoxFor(prompt, name, c.reason);
      EXPECT_TRUE(job.failureReason.starts_with(std::string(name) + ": " + c.reason));
    }
    EXPECT_EQ(folder.Read("patch.sys"), "installed");
    EXPECT_TRUE(folder.Read("temp/f.ppk.part") == content.substr(0, 40000)) << "part changed";
    for (const char* left : {"temp\\patch.sys.part", "temp\\g.ppk.part", "temp\\g.ppk"}) {
      EXPECT_FALSE(platform::PathExists(left)) << left;
    }
  }
}

// Answers longer than the file may be: with a release key its listed length, without one the
// limit of its kind. None is read past the first byte too many; an announced length that
// cannot be the file's is refused before any byte of the body.
TEST_F(DownloadFileTest, AnAnswerLongerThanTheFileMayBeIsRefused) {
  const std::string content = PatternBytes(100000);
  platform::Sha256 hash;
  hash.Add(content.data(), content.size());
  const ReleaseManifest manifest{1, "", {{"f.ppk", ManifestEntry{hash.Finish(), content.size()}}}};
  server.Serve("f.ppk", content + std::string(1 << 20, 'p'));
  const std::string largePatchSys = ZoneConfig("Live", {"a.example"}) + std::string(2 << 20, ';');
  server.Serve("patch.sys", largePatchSys);
  server.Serve("remote.ver", "1.0\r\n");
  struct Case {
    const char* what;
    const char* name;
    bool signed_;
    std::string rules;
    std::string reason;
    std::uint64_t bodyRead;
  };
  const Case cases[] = {
      {"a padded package", "f.ppk", true, "{}",
       "the server announced 1148576 bytes where the signed release lists 100000", 0},
      {"an endless package", "f.ppk", true, R"({"f.ppk": {"endless": true}})",
       "the answer goes on past the 100000 bytes", 100001},
      {"a large patch.sys", "patch.sys", false, "{}",
       "the server announced " + std::to_string(largePatchSys.size()) +
           " bytes, more than the 1048576 it may have",
       0},
      {"an endless remote.ver", "remote.ver", false, R"({"remote.ver": {"endless": true}})",
       "the answer goes on past the 65536 bytes", 65537},
  };
  ConnectTo(server.port());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.SetRules(c.rules);
    run.inputs.releaseKey.reset();
    run.manifest.reset();
    if (c.signed_) {
      run.inputs.releaseKey = platform::P256PublicKey{};
      run.manifest = manifest;
    }
    job.bytesDone = 0;
    ScriptedPrompt prompt;
    prompt.Then(platform::kAnswerOk);
    const FileCheck check =
        std::string(c.name) == "patch.sys" ? PatchSysCheck(false) : VersionFileCheck();
    EXPECT_FALSE(c.signed_ ? DownloadFile(run, c.name, Arrival::Staged)
                           : DownloadFile(run, c.name, check));
    ExpectFailureBoxFor(prompt, c.name, c.reason);
    EXPECT_EQ(job.bytesDone, c.bodyRead);
    EXPECT_FALSE(platform::PathExists("temp\\" + std::string(c.name) + ".part"));
    EXPECT_FALSE(platform::PathExists("temp\\" + std::string(c.name)));
  }
}

// The signed manifest is what every other file is checked by: it always comes whole.
TEST_F(DownloadFileTest, TheReleaseManifestIsNeverResumed) {
  const std::string content = PatternBytes(50000);
  server.Serve("release.sig", content);
  server.SetRules(R"({"release.sig": {"drop_after": 20000, "first": 1}})");
  folder.Write("temp/release.sig.part", content.substr(0, 10000));
  folder.Write("temp/release.sig.tag", "50000\n\n");
  ConnectTo(server.port());
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_FALSE(DownloadFile(run, "release.sig", Arrival::Staged));
  EXPECT_FALSE(platform::PathExists("temp\\release.sig.part")) << "what broke off is not kept";
  bool resumed = true;
  ASSERT_TRUE(DownloadFile(run, "release.sig", Arrival::Staged, &resumed));
  EXPECT_FALSE(resumed);
  EXPECT_TRUE(folder.Read("temp/release.sig") == content) << "the bytes differ";
  for (const LoggedRequest& request : server.Requests()) EXPECT_EQ(request.range, "");

  // Nor does it go on without end.
  server.SetRules(R"({"release.sig": {"content_length": 268435457}})");
  prompt.Then(platform::kAnswerOk);
  EXPECT_FALSE(DownloadFile(run, "release.sig", Arrival::Staged));
  EXPECT_TRUE(prompt.Shown().back().reason.ends_with("more than the 268435456 it may have"));
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
          if (job.itemText == name && job.bytesDone >= kAtOnce) {
            atStop = job.bytesDone;
            job.state = PatchState::Stop;
            return;
          }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    // No box may show: the test program refuses every box it did not script.
    EXPECT_FALSE(DownloadFile(run, name, inPlace));
    returned = true;
    window.join();
    ASSERT_GE(atStop, kAtOnce) << "the download ended before the stop";
    EXPECT_LE(job.bytesDone - atStop, kOneRead);
    EXPECT_FALSE(platform::PathExists("temp\\" + name)) << "nothing half-received is taken";
  }
  EXPECT_TRUE(folder.Read("patch.sys") == "installed") << "the local file was replaced";
  EXPECT_FALSE(platform::PathExists("temp\\patch.sys.part")) << "only checked files resume";

  // The next run, on the same connection, gets the rest of the package.
  server.SetRules("{}");
  job.state = PatchState::Running;
  ASSERT_TRUE(DownloadFile(run, "data_big_dat.ppk", Arrival::Staged));
  EXPECT_TRUE(folder.Read("temp/data_big_dat.ppk") == content) << "the bytes differ";
  EXPECT_TRUE(server.Requests().back().range.starts_with("bytes=")) << "asked from the start";
}

TEST_F(DownloadFileTest, TenMegabytesFromNginxArriveWhole) {
  NginxServer nginx;
  std::string content = PatternBytes(10 * 1024 * 1024);
  nginx.Serve("game/big.bin", content);
  ASSERT_TRUE(run.connection.Connect("127.0.0.1", nginx.port(), "game"));

  ASSERT_TRUE(DownloadFile(run, "big.bin", Arrival::InPlace));
  EXPECT_TRUE(folder.Read("big.bin") == content) << "the bytes differ";
  std::vector<std::string> log = nginx.AccessLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "quarn \"GET /game/big.bin HTTP/1.1\" 200 10485760 \"Quarn Patch Client\"");

  // nginx serves the rest of a part as it is asked for it.
  nginx.Serve("game/_big_bin.ppk", content);
  folder.Write("temp/_big_bin.ppk.part", content.substr(0, 4 << 20));
  folder.Write("temp/_big_bin.ppk.tag", "10485760\n\n");
  ASSERT_TRUE(DownloadFile(run, "_big_bin.ppk", Arrival::Staged));
  EXPECT_TRUE(folder.Read("temp/_big_bin.ppk") == content) << "the bytes differ";
  EXPECT_EQ(nginx.AccessLog().back(),
            "quarn \"GET /game/_big_bin.ppk HTTP/1.1\" 206 6291456 \"Quarn Patch Client\"");
}

}  // namespace
