#include "platform/replacing_file.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "tests/support/scratch_folder.h"

namespace {

struct Case {
  const char* name;
  const char* target;
  bool commit;
  const char* failedStep;  // how failure() begins; empty when nothing fails
};

TEST(ReplacingFileTest, TheTargetHoldsTheWholeNewFileOrTheOldOneAndNoTemporaryIsLeft) {
  const Case cases[] = {
      {"committed", "a.dat", true, ""},
      {"destroyed uncommitted", "a.dat", false, ""},
      {"in a missing folder", "missing\\a.dat", true, "cannot create the temporary file: "},
      {"over a folder", "folder", true, "cannot move over the target: "},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ScratchFolder folder;
    folder.Write("a.dat", "old");
    folder.Write("a.dat.new", "left by a crash, longer than the new bytes");
    ASSERT_TRUE(platform::CreateFolder("folder"));
    const std::string temporary = std::string(test.target) + ".new";
    const std::string failedStep = test.failedStep;
    {
      platform::ReplacingFile file(test.target, temporary);
      const bool written = file.Write("new bytes");
      EXPECT_EQ(written && (!test.commit || file.Commit()), failedStep.empty());
      if (failedStep.empty()) {
        EXPECT_EQ(file.failure(), "");
      } else {
        EXPECT_EQ(file.failure().rfind(failedStep, 0), 0u) << file.failure();
        EXPECT_GT(file.failure().size(), failedStep.size()) << "the system's reason is kept";
      }
    }
    const bool replaced = test.commit && failedStep.empty();
    EXPECT_EQ(folder.Read("a.dat"), replaced ? "new bytes" : "old");
    EXPECT_TRUE(platform::IsFolder("folder"));
    EXPECT_FALSE(platform::PathExists(temporary));
  }
}

}  // namespace
