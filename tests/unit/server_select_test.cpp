#include "engine/server_select.h"

#include <gtest/gtest.h>

#include "engine/patch_run.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "tests/support/patch_sys.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/stage_test.h"
#include "tests/support/test_servers.h"

namespace {

// A pserv.log as published without a server list.
const std::string kNoServerList(36, '\0');

class ConnectServerTest : public StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    job.state = PatchState::Running;
  }
  std::string Local() const { return "127.0.0.1:" + std::to_string(server.port()); }
  std::vector<std::string> RequestedPaths() const {
    std::vector<std::string> paths;
    for (const LoggedRequest& request : server.Requests()) {
      if (request.status != 401) paths.push_back(request.path);
    }
    return paths;
  }
  static std::vector<ScriptedPrompt::Box> ExpectConnectionFailure(const ScriptedPrompt& prompt,
                                                                  const std::string& host) {
    std::vector<ScriptedPrompt::Box> shown = prompt.Shown();
    EXPECT_FALSE(shown.empty());
    if (!shown.empty()) {
      EXPECT_EQ(shown.back().text, "Error connecting patch server - [" + host + "]");
      EXPECT_EQ(shown.back().caption, "Error");
    }
    return shown;
  }
};

TEST_F(ConnectServerTest, APortAndFolderInTheServerStringWin) {
  std::string entry = Local() + "/patch/live";
  folder.Write("patch.sys", ZoneConfig("Live", {entry}, "configured"));
  server.Serve("patch/live/patch.sys", ZoneConfig("Live", {entry}, "configured", "[Msg]\r\n"));
  server.Serve("patch/live/pserv.log", std::string(36, 'h') + "Server1=" + entry + "\r\n");

  EXPECT_TRUE(ConnectServer(run));
  EXPECT_EQ(RequestedPaths(),
            (std::vector<std::string>{"/patch/live/patch.sys", "/patch/live/pserv.log"}));
  EXPECT_EQ(run.connection.port(), server.port());
  EXPECT_EQ(run.connection.folder(), "patch/live");
  EXPECT_EQ(run.zone, "Live") << "an empty zone is taken from Combo/Zone0";
  EXPECT_EQ(folder.Read("patch.sys"), ZoneConfig("Live", {entry}, "configured", "[Msg]\r\n"));
  EXPECT_EQ(job.stageText, "Update Server List");
}

TEST_F(ConnectServerTest, APortAfterTheFolderKeepsTheConfiguredFolder) {
  std::string entry = "127.0.0.1/live:" + std::to_string(server.port());
  folder.Write("patch.sys", ZoneConfig("Live", {entry}, "configured"));
  server.Serve("configured/patch.sys", ZoneConfig("Live", {entry}, "configured"));
  server.Serve("configured/pserv.log", kNoServerList);

  EXPECT_TRUE(ConnectServer(run));
  EXPECT_EQ(RequestedPaths(),
            (std::vector<std::string>{"/configured/patch.sys", "/configured/pserv.log"}));
}

TEST_F(ConnectServerTest, ReleaseIniFixesTheServerWithoutConfirmation) {
  folder.Write("patch.sys", ZoneConfig("Live", {"elsewhere.invalid"}));
  folder.Write("common/Release.ini", "[FTP]\r\nIP=127.0.0.1\r\nFolder=fixed\r\nPort=" +
                                         std::to_string(server.port()) + "\r\n");
  server.Serve("fixed/patch.sys", "[Combo]\r\nZone0=Other\r\n");  // lists no server at all
  server.Serve("fixed/pserv.log", kNoServerList);

  ended = ConnectServer(run);

  EXPECT_TRUE(ended);
  EXPECT_EQ(EndStateOf(ended), PatchState::Running);
  EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{"/fixed/patch.sys", "/fixed/pserv.log"}));
}

TEST_F(ConnectServerTest, AnEmptyReleaseIniHostNeverConnects) {
  folder.Write("common/Release.ini", "[FTP]\r\nIP=\r\n");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_FALSE(ConnectServer(run));
  EXPECT_EQ(ExpectConnectionFailure(prompt, "").size(), 1u);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ConnectServerTest, TheConfirmationComparesHostsExactly) {
  folder.Write("patch.sys", ZoneConfig("Live", {Local()}));
  server.Serve("pserv.log", kNoServerList);
  // Listed with a port and a folder: still this host.
  server.Serve("patch.sys", ZoneConfig("Live", {"other.invalid", "127.0.0.1:9/x"}));
  EXPECT_TRUE(ConnectServer(run));

  // The same address written differently is another server: the patcher starts again.
  run.connection.Close();
  folder.Write("patch.sys", ZoneConfig("Live", {Local()}));
  server.Serve("patch.sys", ZoneConfig("Live", {"127.000.0.1:" + std::to_string(server.port())}));
  ended = ConnectServer(run);
  EXPECT_FALSE(ended);
  EXPECT_EQ(EndStateOf(ended), PatchState::Relaunch);
}

TEST_F(ConnectServerTest, EveryAttemptWithinOneSecondTakesTheSameEntry) {
  std::vector<std::string> entries;
  for (int i = 0; i < 3; ++i) entries.push_back(Local() + "/f" + std::to_string(i));
  folder.Write("patch.sys", ZoneConfig("Live", entries));
  // No folder serves patch.sys: every attempt fails, and each would ask its own folder.
  for (std::int64_t second : {100, 101, 102}) {
    SCOPED_TRACE(second);
    server.Reset();
    run.connection.Close();
    run.inputs.secondsNow = [second] { return second; };
    ScriptedPrompt prompt;
    prompt.Then(platform::kAnswerOk).Then(platform::kAnswerOk);
    EXPECT_FALSE(ConnectServer(run));
    std::string expected = "/f" + std::to_string(second % 3) + "/patch.sys";
    EXPECT_EQ(RequestedPaths(), std::vector<std::string>{expected})
        << "one fetch: the failed attempt's connection stays open and later attempts fail";
    std::vector<ScriptedPrompt::Box> shown = ExpectConnectionFailure(prompt, "127.0.0.1");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "patch.sys");
  }
}

TEST_F(ConnectServerTest, WithoutAZoneTheServerListOfPservLogIsUsedAndRelaunches) {
  folder.Write("patch.sys", "[Msg]\r\nUpdateServerList=Servers\r\n");
  folder.Write("pserv.log", std::string(36, '\0') + "Server1=" + Local() + "\r\n");
  folder.Write("remote.ver", "1.0\r\nold");
  server.Serve("old/patch.sys", ZoneConfig("Live", {Local()}, "old"));
  server.Serve("old/pserv.log", kNoServerList);

  ended = ConnectServer(run);

  EXPECT_FALSE(ended);
  EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{"/old/patch.sys", "/old/pserv.log"}));
  EXPECT_EQ(job.stageText, "Servers");
  EXPECT_EQ(EndStateOf(ended), PatchState::Relaunch) << "an empty zone lists no server";
}

// A portal's page, or a file of no use to a run, in place of patch.sys or pserv.log: the old
// copies stay byte for byte, the player reads why, and no further request is made for it.
TEST_F(ConnectServerTest, AnAnswerThatIsNoConfigurationLeavesTheLocalOneAndEndsTheStage) {
  const std::string config = ZoneConfig("Live", {Local()});
  const std::string pservLog = kNoServerList + "Server1=" + Local() + "\r\n";
  struct Case {
    const char* what;
    std::string rules;
    std::string patchSys;  // as served
    std::string refused;   // the file the box names
    std::string reason;
  };
  const Case cases[] = {
      {"a portal for every file", R"({"*": {"portal": true}})", config, "patch.sys",
       "the network answered with a web page"},
      {"a patch.sys without servers", "{}", ZoneConfig("Live", {}), "patch.sys",
       "none of its zones lists a server"},
      {"a portal for pserv.log alone", R"({"pserv.log": {"portal": true}})", config, "pserv.log",
       "the network answered with a web page"},
      {"an endless patch.sys", R"({"patch.sys": {"endless": true}})", config, "patch.sys",
       "the answer goes on past the 1048576 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.Reset();
    run.connection.Close();
    job.state = PatchState::Running;
    folder.Write("patch.sys", config);
    folder.Write("pserv.log", pservLog);
    server.Serve("patch.sys", c.patchSys);
    server.Serve("pserv.log", "not a pserv.log");
    server.SetRules(c.rules);
    ScriptedPrompt prompt;
    prompt.Then(platform::kAnswerOk).Then(platform::kAnswerOk);
    EXPECT_FALSE(ConnectServer(run));
    EXPECT_TRUE(folder.Read("patch.sys") == config) << "patch.sys was replaced";
    EXPECT_TRUE(folder.Read("pserv.log") == pservLog) << "pserv.log was replaced";
    std::vector<ScriptedPrompt::Box> shown = ExpectConnectionFailure(prompt, "127.0.0.1");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, c.refused);
    EXPECT_TRUE(shown[0].reason.starts_with(c.reason)) << shown[0].reason;
    EXPECT_TRUE(shown[1].reason.starts_with(c.refused + ": " + c.reason)) << shown[1].reason;
    EXPECT_EQ(RequestedPaths().size(), c.refused == "patch.sys" ? 1u : 2u);
    EXPECT_FALSE(platform::PathExists("temp\\patch.sys.part"));
  }
}

TEST_F(ConnectServerTest, NoServerToChooseFailsEveryAttempt) {
  struct Case {
    const char* name;
    std::string patchSys;
    std::string pservLog;
  };
  const Case cases[] = {
      {"zone without Server1", "[Combo]\r\nZone0=Live\r\n[Live]\r\nPort=2100\r\n", ""},
      {"pserv.log without entries", "", std::string(36, '\0')},
      {"pserv.log shorter than its header", "", "Server1=x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    run.zone.clear();
    folder.Write("patch.sys", c.patchSys);
    folder.Write("pserv.log", c.pservLog);
    ScriptedPrompt prompt;
    prompt.Then(platform::kAnswerOk);
    EXPECT_FALSE(ConnectServer(run));
    EXPECT_EQ(ExpectConnectionFailure(prompt, "").size(), 1u);
  }
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
