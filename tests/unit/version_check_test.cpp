#include "engine/version_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/patch_run.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/stage_test.h"
#include "tests/support/test_servers.h"

namespace {

constexpr const char* kIncorrect = "Error Version Incorrect, Please download new version";
constexpr const char* kUpdate = "There is a new version, do you want to download now?";
// The boxes of a run that cannot read the version it must have.
const std::vector<std::string> kNoRequiredVersion{"remote.ver",
                                                  "Error Opening remote version file"};

class CheckVersionTest : public StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    folder.Write("patch.sys", "[ErrMsg]\r\nPatchURL=http://example.invalid/full\r\n");
    RunningAndConnected();
    platform::SetShellHook([this](const std::string& target) {
      opened.push_back(target);
      return true;
    });
  }
  void TearDown() override { platform::SetShellHook(nullptr); }

  void Versions(const char* required, const char* installed, const char* newest) {
    server.Serve("remote.ver", required);
    if (installed != nullptr) folder.Write("local.ver", installed);
    server.Serve("latest.ver", newest);
  }
  bool LatestWasFetched() const {
    for (const LoggedRequest& request : server.Requests()) {
      if (request.path == "/./latest.ver" && request.status == 200) return true;
    }
    return false;
  }
  static std::vector<std::string> Texts(const std::vector<ScriptedPrompt::Box>& boxes) {
    std::vector<std::string> texts;
    for (const ScriptedPrompt::Box& box : boxes) texts.push_back(box.text);
    return texts;
  }
  static std::vector<std::string> Texts(const ScriptedPrompt& prompt) {
    return Texts(prompt.Shown());
  }
  // Runs the check, which must end as `goesOn`, answering OK to its boxes: those boxes.
  std::vector<ScriptedPrompt::Box> CheckAnsweringOk(bool goesOn) {
    ScriptedPrompt prompt;
    prompt.Then(platform::kAnswerOk).Then(platform::kAnswerOk);
    EXPECT_EQ(static_cast<bool>(CheckVersion(run)), goesOn);
    return prompt.Shown();
  }

  std::vector<std::string> opened;
};

TEST_F(CheckVersionTest, EqualVersionsAskNothingAndGoOn) {
  Versions("1.5\r\nlive", "1.5", "1.5");
  EXPECT_TRUE(CheckVersion(run));
  EXPECT_TRUE(LatestWasFetched());
  EXPECT_EQ(folder.Read("remote.ver"), "1.5\r\nlive");
}

TEST_F(CheckVersionTest, AMissingLocalVersionCountsAsOne) {
  Versions("2", nullptr, "2");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerNo);
  ended = CheckVersion(run);
  EXPECT_FALSE(ended);
  EXPECT_EQ(Texts(prompt), std::vector<std::string>{kIncorrect});
  EXPECT_EQ(prompt.Shown()[0].caption, "Error");
  EXPECT_EQ(prompt.Shown()[0].style, platform::kBoxYesNo);
  EXPECT_EQ(EndStateOf(ended), PatchState::Failed);
  EXPECT_FALSE(LatestWasFetched());
  EXPECT_TRUE(opened.empty());
}

TEST_F(CheckVersionTest, VersionsCompareAsNumbers) {
  Versions("1.10", "1.9", "1.10");  // 1.1 is older than 1.9
  EXPECT_TRUE(CheckVersion(run));

  Versions("1.9", "1.10", "1.9");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerNo);
  EXPECT_FALSE(CheckVersion(run));
  EXPECT_EQ(Texts(prompt), std::vector<std::string>{kIncorrect});
}

TEST_F(CheckVersionTest, AReadOnlyLocalVersionCountsAsOne) {
  Versions("2.0", "3.0", "3.0");
  namespace fs = std::filesystem;
  fs::permissions("local.ver",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerNo);
  EXPECT_FALSE(CheckVersion(run));
  EXPECT_EQ(Texts(prompt), std::vector<std::string>{kIncorrect});
  fs::permissions("local.ver", fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(CheckVersionTest, GoingToTheDownloadPageLeavesTheWindowOpen) {
  Versions("2", "1", "2");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerYes);
  ended = CheckVersion(run);
  EXPECT_FALSE(ended);
  EXPECT_EQ(opened, std::vector<std::string>{"http://example.invalid/full"});
  EXPECT_EQ(EndStateOf(ended), PatchState::Stop);
}

TEST_F(CheckVersionTest, ANewerFullVersionIsOfferedFirst) {
  Versions("1.0", "1.2", "1.3");
  {
    ScriptedPrompt prompt;
    prompt.Then(platform::kAnswerNo);
    EXPECT_TRUE(CheckVersion(run)) << "declined: patch all the same";
    EXPECT_EQ(Texts(prompt), std::vector<std::string>{kUpdate});
  }
  folder.Write("patch.sys", "[ErrMsg]\r\nVersionUpdate=Get 1.3?\r\n");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerYes);
  ended = CheckVersion(run);
  EXPECT_FALSE(ended);
  EXPECT_EQ(Texts(prompt), std::vector<std::string>{"Get 1.3?"});
  EXPECT_EQ(opened, std::vector<std::string>{""}) << "an empty PatchURL still ends the work";
  EXPECT_EQ(EndStateOf(ended), PatchState::Stop);
}

TEST_F(CheckVersionTest, MissingVersionFilesOnTheServer) {
  server.SetRules(R"({"remote.ver": {"status": 404}})");
  EXPECT_EQ(Texts(CheckAnsweringOk(false)), kNoRequiredVersion);
  server.SetRules(R"({"latest.ver": {"status": 404}})");
  server.Serve("remote.ver", "1.0");
  EXPECT_EQ(Texts(CheckAnsweringOk(true)), std::vector<std::string>{"latest.ver"})
      << "no newest version: patch on";
}

// A portal's page or an answer that is no version, in place of either file: the old copy
// stays, as if the server had none, and the player reads why.
TEST_F(CheckVersionTest, AnAnswerThatIsNoVersionLeavesTheOldFile) {
  folder.Write("remote.ver", "1.0\r\nlive");
  folder.Write("latest.ver", "1.0");
  Versions("1.0\r\nlive", "1.0", "<p>newer</p>");
  server.SetRules(R"({"remote.ver": {"portal": true}})");
  const std::vector<ScriptedPrompt::Box> required = CheckAnsweringOk(false);
  ASSERT_EQ(Texts(required), kNoRequiredVersion);
  EXPECT_TRUE(required[0].reason.starts_with("the network answered with a web page"));
  server.SetRules("{}");
  const std::vector<ScriptedPrompt::Box> newest = CheckAnsweringOk(true);
  ASSERT_EQ(Texts(newest), std::vector<std::string>{"latest.ver"})
      << "no usable newest version: patch on";
  EXPECT_EQ(newest[0].reason, "it does not start with a version number");
  EXPECT_EQ(folder.Read("remote.ver"), "1.0\r\nlive");
  EXPECT_EQ(folder.Read("latest.ver"), "1.0");
}

}  // namespace
