#include "engine/listed_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/file_stamps.h"
#include "engine/local_check.h"
#include "engine/patch_run.h"
#include "engine/status_log.h"
#include "platform/files.h"
#include "tests/support/scratch_folder.h"

namespace {

// Whole seconds, so that a time put back is the same time: MinGW's runtime under Wine
// did not put a fraction of a second back exactly.
void SetWholeSecondTime(const std::string& name) {
  std::filesystem::last_write_time(
      name, std::chrono::floor<std::chrono::seconds>(std::filesystem::last_write_time(name)));
}

// Rewrites a file with other bytes of the same size, its write time moved on or kept.
void Rewrite(const ScratchFolder& folder, const std::string& name, const std::string& content,
             bool keepTime) {
  const auto before = std::filesystem::last_write_time(name);
  folder.Write(name, content);
  std::filesystem::last_write_time(name, keepTime ? before : before + std::chrono::seconds(3));
}

class ListedCheckTest : public testing::Test {
 protected:
  void SetUp() override {
    folder.Write("a.dat", "alpha");
    folder.Write("data/b.dat", "bravo");
    SetWholeSecondTime("a.dat");
    SetWholeSecondTime("data/b.dat");
    PatchJob first;
    PatchRun firstRun(first);
    ASSERT_TRUE(CheckLocalFiles(firstRun));  // digests both and saves the log with its stamps
  }

  // A later run up to the download: the log and stamps read, the list loaded, the check.
  FileDigestMap NextRun(bool repair = false) {
    PatchJob job;
    PatchRun run{job};
    run.inputs.digestEveryListedFile = repair;
    EXPECT_TRUE(CheckLocalFiles(run));
    run.files.FindOrAdd("\\a.dat").listed = DigestOfBytes("alpha");
    run.files.FindOrAdd("\\data\\b.dat").listed = DigestOfBytes("bravo");
    EXPECT_TRUE(CheckListedFiles(run));
    return run.files;
  }

  ScratchFolder folder;
};

TEST_F(ListedCheckTest, AChangeIsSeenByItsSizeOrTimeAndOnlyARepairLooksBehindBoth) {
  Rewrite(folder, "data/b.dat", "BRAVO", true);  // same size, old time: looks untouched
  EXPECT_EQ(NextRun().Find("\\data\\b.dat")->installed, DigestOfBytes("bravo"));
  EXPECT_EQ(NextRun(true).Find("\\data\\b.dat")->installed, DigestOfBytes("BRAVO"));

  Rewrite(folder, "a.dat", "ALPHA", false);
  std::filesystem::remove("data/b.dat");
  const FileDigestMap seen = NextRun();
  EXPECT_EQ(seen.begin()->second.installed, DigestOfBytes("ALPHA"));
  EXPECT_TRUE(IsZeroDigest(std::next(seen.begin())->second.installed));
  // What was seen is saved, so the run after it starts from there.
  EXPECT_EQ(NextRun().begin()->second.installed, DigestOfBytes("ALPHA"));
}

TEST_F(ListedCheckTest, StampsCutAtAnyLengthNeverHideAChangedFile) {
  const std::string stamps = folder.Read(kStampsName);
  ASSERT_GT(stamps.size(), 8u);
  Rewrite(folder, "data/b.dat", "BRAVO", false);
  for (std::size_t length = 0; length <= stamps.size(); ++length) {
    folder.Write(kStampsName, stamps.substr(0, length));
    FileDigestMap seen = NextRun();
    EXPECT_EQ(seen.Find("\\data\\b.dat")->installed, DigestOfBytes("BRAVO")) << length;
    EXPECT_EQ(seen.Find("\\a.dat")->installed, DigestOfBytes("alpha")) << length;
    Rewrite(folder, "data/b.dat", "BRAVO", false);  // changed again for the next length
  }
}

// A crash between the two renames of a save leaves one file of the new pair beside one of the
// old; a stamp must never vouch for a digest it was not taken with.
TEST_F(ListedCheckTest, AnyPairOfOldAndNewLogAndStampsGivesTheFilesAsTheyAre) {
  const std::string oldLog = folder.Read(kStatusLogName);
  const std::string oldStamps = folder.Read(kStampsName);
  // A run unpacks a new a.dat and saves the pair.
  PatchJob job;
  PatchRun run{job};
  ASSERT_TRUE(CheckLocalFiles(run));
  Rewrite(folder, "a.dat", "ALPHA", false);
  FileDigests& a = *run.files.Find("\\a.dat");
  a.installed = DigestOfBytes("ALPHA");
  a.stamp = platform::StampOf("a.dat");
  ASSERT_TRUE(WriteStatusLog(run));
  const std::string newLog = folder.Read(kStatusLogName);
  const std::string newStamps = folder.Read(kStampsName);

  for (const std::string* log : {&oldLog, &newLog}) {
    for (const std::string* stamps : {&oldStamps, &newStamps}) {
      folder.Write(kStatusLogName, *log);
      folder.Write(kStampsName, *stamps);
      FileDigestMap seen = NextRun();
      EXPECT_EQ(seen.Find("\\a.dat")->installed, DigestOfBytes("ALPHA"))
          << (log == &oldLog ? "old" : "new") << " log, " << (stamps == &oldStamps ? "old" : "new")
          << " stamps";
    }
  }
}

}  // namespace
