#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "platform/prompt.h"
#include "tests/support/scripted_prompt.h"
#include "tools/cli/answer_rule.h"
#include "tools/cli/box_answers.h"
#include "tools/cli/console.h"
#include "tools/cli/patch_run.h"

namespace {

using platform::kAnswerNo;
using platform::kAnswerOk;
using platform::kAnswerYes;
using platform::kBoxIconError;
using platform::kBoxOk;
using platform::kBoxYesNo;

TEST(AnswerRuleTest, ABoxWithOnlyOkIsNeverAsked) {
  for (Answering answering : {Answering::Ask, Answering::Yes, Answering::No}) {
    EXPECT_EQ(AnswerWithoutAsking(kBoxOk, answering, true), kAnswerOk);
    EXPECT_EQ(AnswerWithoutAsking(kBoxOk | kBoxIconError, answering, true), kAnswerOk);
  }
}

TEST(AnswerRuleTest, AQuestionTakesThePresetAnswerWhateverItsIcon) {
  EXPECT_EQ(AnswerWithoutAsking(kBoxYesNo, Answering::Yes, true), kAnswerYes);
  EXPECT_EQ(AnswerWithoutAsking(kBoxYesNo | kBoxIconError, Answering::Yes, false), kAnswerYes);
  EXPECT_EQ(AnswerWithoutAsking(kBoxYesNo, Answering::No, true), kAnswerNo);
}

TEST(AnswerRuleTest, AQuestionIsAskedOnlyWhenSomeoneCanAnswer) {
  EXPECT_EQ(AnswerWithoutAsking(kBoxYesNo, Answering::Ask, true), std::nullopt);
  EXPECT_EQ(AnswerWithoutAsking(kBoxYesNo | kBoxIconError, Answering::Ask, true), std::nullopt);
  EXPECT_EQ(AnswerWithoutAsking(kBoxYesNo, Answering::Ask, false), kAnswerNo);
}

TEST(AnswerRuleTest, OnlyAPlainYesIsYes) {
  for (const char* yes : {"y", "Y", "yes", "YES", " y ", "yes\r"}) {
    EXPECT_EQ(AnswerOfReply(yes), kAnswerYes) << yes;
  }
  for (const char* no : {"", " ", "n", "no", "yess", "y y", "ok", "1"}) {
    EXPECT_EQ(AnswerOfReply(no), kAnswerNo) << no;
  }
}

// The lines the boxes leave on standard error, which scripts read.
class BoxAnswersTest : public testing::Test {
 protected:
  void TearDown() override { RefuseUnexpectedBoxes(); }
  void Answer(Answering answering) {
    AnswerBoxesOnConsole(std::make_shared<Console>(out, err, std::nullopt), answering);
  }
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(BoxAnswersTest, ABoxIsToldWithItsCaption) {
  Answer(Answering::No);
  EXPECT_EQ(platform::ShowMessage("_data_a_dat.ppk", "Error Downloading File", kBoxOk), kAnswerOk);
  EXPECT_EQ(platform::ShowAppMessage("Cannot create directory.\ndata\\"), kAnswerOk);
  EXPECT_EQ(err.str(),
            "Error Downloading File: _data_a_dat.ppk\n"
            "veldra: Cannot create directory.\ndata\\\n");
  EXPECT_EQ(out.str(), "");
}

TEST_F(BoxAnswersTest, AQuestionIsToldWithItsAnswerAndWhy) {
  Answer(Answering::Yes);
  EXPECT_EQ(platform::ShowMessage("There is a new version", "Error", kBoxYesNo), kAnswerYes);
  Answer(Answering::No);
  EXPECT_EQ(platform::ShowMessage("There is a new version", "Error", kBoxYesNo), kAnswerNo);
  EXPECT_EQ(err.str(),
            "Error: There is a new version\nveldra-cli: answered yes (--yes)\n"
            "Error: There is a new version\nveldra-cli: answered no (--no)\n");
}

TEST(ExitStatusTest, OnlyDoneIsSuccess) {
  EXPECT_EQ(ExitStatusOf(PatchState::Done), 0);
  EXPECT_EQ(ExitStatusOf(PatchState::Relaunch), 2);
  EXPECT_EQ(ExitStatusOf(PatchState::Failed), 4);
  EXPECT_EQ(ExitStatusOf(PatchState::Stop), 5);
  // A run that ended without an outcome did not finish: never 0.
  EXPECT_EQ(ExitStatusOf(PatchState::Idle), 4);
  EXPECT_EQ(ExitStatusOf(PatchState::Running), 4);
}

}  // namespace
