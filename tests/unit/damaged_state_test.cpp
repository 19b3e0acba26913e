// State files of the game folder that are too large or no file at all: each run goes on as if
// the file were missing, or fails saying why; none waits, fills the memory or fails silently.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/file_list_stage.h"
#include "engine/file_stamps.h"
#include "engine/local_check.h"
#include "engine/patch_run.h"
#include "engine/pserv_log.h"
#include "engine/state_file.h"
#include "engine/status_log.h"
#include "platform/files.h"
#include "tests/support/game_folder_test.h"
#include "tests/support/scripted_prompt.h"

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

using DamagedStateTest = GameFolderTest;

// Read, a log of zeros would have been an empty map: nothing installed, nothing digested.
TEST_F(DamagedStateTest, AStatusLogLargerThanAnyMeansTakingStockAgain) {
  Oversized(kStatusLogName, kLargestStatusLog + 1);
  ASSERT_TRUE(CheckLocalFiles(run));
  EXPECT_EQ(run.files.Find("\\data\\a.dat")->installed, DigestOfBytes("game file"));
  EXPECT_EQ(folder.Read(kStatusLogName), StatusLogBytes(run.files));
}

TEST_F(DamagedStateTest, DamagedStampsVouchForNothingAndTheRunGoesOn) {
  PatchJob first;
  first.configPath = job.configPath;
  PatchRun firstRun(first);
  ASSERT_TRUE(CheckLocalFiles(firstRun));
  const Damage damages[] = {
      {"of 16 GiB", [] { Oversized(kStampsName, 16ull << 30); }},
      {"a folder", [] { Folder(kStampsName); }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    damage.make();
    const FileDigests game = NextRunsGameFile();
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
  ASSERT_TRUE(LoadFileList(run));
  EXPECT_EQ(folder.Read("filelist.log"), list);
  EXPECT_EQ(run.files.Find("\\data\\a.dat")->listed, DigestOfBytes("game file"));
}

TEST_F(DamagedFileListTest, AFolderInPlaceOfTheListFailsTheRunSayingWhy) {
  Folder("filelist.log");
  const ScriptedPrompt::Box box = FailureBox(LoadFileList);
  EXPECT_EQ(box.text, "filelist.log");
  EXPECT_FALSE(box.reason.empty());
}

TEST_F(DamagedFileListTest, APservLogLargerThanAnyIsNamedWithWhy) {
  Oversized("pserv.log", kLargestPservLog + 1);
  const ScriptedPrompt::Box box = FailureBox(LoadFileList);
  EXPECT_EQ(box.text, "Error reading pserv.log");
  EXPECT_EQ(CurrentFailureReason(job).rfind("pserv.log: it is 1048577 bytes long", 0), 0u)
      << CurrentFailureReason(job);
}

}  // namespace
