// State files of the game folder that are too large or no file at all: each run goes on as if
// the file were missing, or fails saying why; none waits, fills the memory or fails silently.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/file_list_stage.h"
#include "engine/file_stamps.h"
#include "engine/local_check.h"
#include "engine/patch_job.h"
#include "engine/pserv_log.h"
#include "engine/state_file.h"
#include "engine/status_log.h"
#include "platform/files.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/stage_test.h"

namespace {

// A file of `size` bytes that takes no room on the disk.
void Oversized(const char* name, std::uint64_t size) {
  {
    platform::File file;
    ASSERT_TRUE(file.Open(name, platform::FileMode::Write));
  }
  std::filesystem::resize_file(name, size);
}

void Folder(const char* name) {
  platform::RemoveFile(name);
  ASSERT_TRUE(platform::CreateFolder(name));
}

class DamagedStateTest : public StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    folder.Write("patch.sys", "[Msg]\r\n");
    folder.Write("data/a.dat", "game file");
  }
};

struct Damage {
  const char* what;
  std::function<void()> make;
};

// Read, a log of zeros would have been an empty map: nothing installed, nothing digested.
TEST_F(DamagedStateTest, AStatusLogLargerThanAnyMeansTakingStockAgain) {
  Oversized(kStatusLogName, kLargestStatusLog + 1);
  ASSERT_TRUE(CheckLocalFiles(job));
  EXPECT_EQ(job.files.Find("\\data\\a.dat")->installed, DigestOfBytes("game file"));
  EXPECT_EQ(folder.Read(kStatusLogName), StatusLogBytes(job.files));
}

TEST_F(DamagedStateTest, DamagedStampsVouchForNothingAndTheRunGoesOn) {
  PatchJob first;
  first.configPath = job.configPath;
  ASSERT_TRUE(CheckLocalFiles(first));
  const Damage damages[] = {
      {"of 16 GiB", [] { Oversized(kStampsName, 16ull << 30); }},
      {"a folder", [] { Folder(kStampsName); }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    damage.make();
    PatchJob run;
    run.configPath = job.configPath;
    ASSERT_TRUE(CheckLocalFiles(run));
    const FileDigests& game = *run.files.Find("\\data\\a.dat");
    EXPECT_EQ(game.installed, DigestOfBytes("game file"));
    EXPECT_FALSE(game.stamp) << "no stamp: the listed check digests the file";
    std::filesystem::remove_all(kStampsName);
  }
}

class DamagedFileListTest : public DamagedStateTest {
 protected:
  void SetUp() override {
    DamagedStateTest::SetUp();
    RunningAndConnected();
    list = FileListBytes({{"\\data\\a.dat", DigestOfBytes("game file")}});
    server.Serve("filelist.log", list);
    Digest none{};
    folder.Write("pserv.log", PservLogBytes(DigestOfBytes(list), none, {{"Server1", "x"}}));
  }
  std::string list;
};

TEST_F(DamagedFileListTest, ALocalListLargerThanAnyIsFetchedAgain) {
  Oversized("filelist.log", kLargestFileList + 1);
  ASSERT_TRUE(LoadFileList(job));
  EXPECT_EQ(folder.Read("filelist.log"), list);
  EXPECT_EQ(job.files.Find("\\data\\a.dat")->listed, DigestOfBytes("game file"));
}

TEST_F(DamagedFileListTest, AFolderInPlaceOfTheListFailsTheRunSayingWhy) {
  Folder("filelist.log");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_FALSE(LoadFileList(job));
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].text, "filelist.log");
  EXPECT_FALSE(prompt.Shown()[0].reason.empty());
}

TEST_F(DamagedFileListTest, APservLogLargerThanAnyIsNamedWithWhy) {
  Oversized("pserv.log", kLargestPservLog + 1);
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_FALSE(LoadFileList(job));
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].text, "Error reading pserv.log");
  EXPECT_EQ(CurrentFailureReason(job).rfind("pserv.log: it is 1048577 bytes long", 0), 0u)
      << CurrentFailureReason(job);
}

}  // namespace
