#include "engine/unpacking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/file_digests.h"
#include "engine/package.h"
#include "engine/patch_run.h"
#include "engine/status_log.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "tests/support/gzip_bytes.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_servers.h"

namespace {

namespace fs = std::filesystem;

std::string Package(std::string_view content, std::string_view target) {
  return GzipBytes(content) + PackageTrailer(target);
}

class DecompressPackagesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CreateFolder("temp"));
    job.configPath = folder.path() + "\\patch.sys";
    job.state = PatchState::Running;
  }
  // A file the server lists with the digest of `content`, and its package fetched this run.
  void Waiting(const std::string& key, const std::string& content) {
    FileDigests& digests = run.files.FindOrAdd(key);
    digests.listed = digests.fetched = DigestOfBytes(content);
    digests.fetchedThisRun = true;
    folder.Write("temp/" + PackageNameOf(key), Package(content, key.substr(1)));
  }
  static std::vector<std::string> Texts(const ScriptedPrompt& prompt) {
    std::vector<std::string> texts;
    for (const ScriptedPrompt::Box& box : prompt.Shown()) texts.push_back(box.text);
    return texts;
  }
  static std::size_t FilesIn(const std::string& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      count += entry.is_regular_file();
    }
    return count;
  }

  ScratchFolder folder;
  PatchJob job;
  PatchRun run{job};
  Outcome ended;
};

TEST_F(DecompressPackagesTest, UnpacksIntoNewFoldersAndRecordsTheServerDigest) {
  Waiting("\\data\\new\\sub\\a.dat", "alpha");
  Waiting("\\b.dat", std::string(100000, 'b'));
  folder.Write("b.dat", "old b");
  ASSERT_TRUE(DecompressPackages(run));

  EXPECT_EQ(folder.Read("data/new/sub/a.dat"), "alpha");
  EXPECT_EQ(folder.Read("b.dat"), std::string(100000, 'b'));
  EXPECT_EQ(FilesIn("temp"), 0u);
  EXPECT_EQ(run.files.Find("\\b.dat")->installed, DigestOfBytes(std::string(100000, 'b')));
  EXPECT_EQ(job.stagePos, 2);
  EXPECT_EQ(job.stageRange, 0) << "the packages are not counted in advance";
  EXPECT_EQ(job.stageText, "Decompressing Files");
  FileDigestMap saved;
  ReadStatusLog(folder.Read("localfileStatus.log"), saved);
  EXPECT_EQ(saved.Find("\\b.dat")->installed, DigestOfBytes(std::string(100000, 'b')));
}

TEST_F(DecompressPackagesTest, NothingWaitingSavesTheLogAndSucceeds) {
  ASSERT_TRUE(DecompressPackages(run));
  EXPECT_TRUE(platform::PathExists("localfileStatus.log"));
}

TEST_F(DecompressPackagesTest, AFileTheMapDoesNotKnowIsUnpackedAndLeavesTheMapAlone) {
  folder.Write("temp/_extra_txt.ppk", Package("extra", "extra.txt"));
  ASSERT_TRUE(DecompressPackages(run));
  EXPECT_EQ(folder.Read("extra.txt"), "extra");
  EXPECT_TRUE(run.files.empty());
}

TEST_F(DecompressPackagesTest, InvalidPackagesAreDeletedSilentlyAndTheRestUnpacked) {
  std::string good = Package("content", "x.dat");
  std::string wrongMagic = good;
  wrongMagic.back() = 1;
  std::string tooLong = good;
  tooLong[tooLong.size() - 8] = static_cast<char>(0xff);
  tooLong[tooLong.size() - 7] = static_cast<char>(0xff);
  std::string tiny = good.substr(good.size() - 7);
  folder.Write("temp/a_wrong_magic.ppk", wrongMagic);
  folder.Write("temp/b_too_long.ppk", tooLong);
  folder.Write("temp/c_tiny.ppk", tiny);
  folder.Write("temp/d_upper.PPK", Package("upper", "upper.dat"));
  folder.Write("temp/_good_dat.ppk", Package("good", "good.dat"));
  // Fetched as \new.dat, but naming the player's own file.
  folder.Write("user.cfg", "the player's settings");
  folder.Write("temp/_new_dat.ppk", Package("overwritten", "user.cfg"));

  ASSERT_TRUE(DecompressPackages(run));
  EXPECT_EQ(folder.Read("good.dat"), "good");
  EXPECT_EQ(folder.Read("user.cfg"), "the player's settings");
  EXPECT_FALSE(platform::PathExists("x.dat"));
  EXPECT_FALSE(platform::PathExists("upper.dat")) << "the name must end in .ppk exactly";
  EXPECT_EQ(FilesIn("temp"), 0u);
}

TEST_F(DecompressPackagesTest, UnsafeTargetsWriteNothingAnywhere) {
  fs::create_directories("game");
  fs::current_path("game");
  ASSERT_TRUE(platform::CreateFolder("temp"));
  const char* targets[] = {"..\\outside.dat",      "\\rooted.dat", "/rooted.dat",   "C:\\drive.dat",
                           "data\\..\\..\\up.dat", "a:b.dat",      "NUL",           "con.txt",
                           "data\\\\twice.dat",    "trailing.",    "data\\ \\blank"};
  int number = 0;
  for (const char* target : targets) {
    folder.Write("temp/p" + std::to_string(number++) + ".ppk", Package("evil", target));
  }
  ASSERT_TRUE(DecompressPackages(run));
  fs::current_path(folder.path());
  EXPECT_EQ(FilesIn("."), 2u) << "only the status log and its stamps";
  EXPECT_TRUE(platform::PathExists("game\\localfileStatus.log"));
}

TEST_F(DecompressPackagesTest, ACorruptMemberFailsAndIsDeletedKeepingTheOldFile) {
  Waiting("\\a.dat", PatternBytes(50000));
  std::string package = folder.Read("temp/_a_dat.ppk");
  package[package.size() / 2] ^= 0x55;  // inside the stored data: the CRC no longer fits
  folder.Write("temp/_a_dat.ppk", package);
  folder.Write("a.dat", "installed");
  run.files.FindOrAdd("\\a.dat").installed = DigestOfBytes("installed");
  ScriptedPrompt prompt;
  for (int i = 0; i < 4; ++i) prompt.Then(platform::kAnswerOk);

  EXPECT_TRUE(DecompressPackages(run));
  std::vector<std::string> texts = Texts(prompt);
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts.front().rfind("Error in Minigzip: ", 0), 0u) << texts.front();
  EXPECT_EQ(prompt.Shown().front().style, platform::kBoxOk) << "no icon";
  EXPECT_EQ(texts.back(), "_a_dat.ppk");
  EXPECT_EQ(prompt.Shown().back().caption, "Error Decompress File");
  EXPECT_EQ(run.fileFailures.count("\\a.dat"), 1u);
  EXPECT_EQ(folder.Read("a.dat"), "installed");
  EXPECT_EQ(run.files.Find("\\a.dat")->installed, DigestOfBytes("installed"));
  EXPECT_FALSE(platform::PathExists("temp\\_a_dat.ppk")) << "fetched again next run";
  EXPECT_EQ(FilesIn("."), 3u) << "a.dat, the status log and its stamps, no half-unpacked file";
}

TEST_F(DecompressPackagesTest, ContentOtherThanListedIsADigestMismatch) {
  Waiting("\\a.dat", "what the server lists");
  folder.Write("temp/_a_dat.ppk", Package("something else", "a.dat"));
  folder.Write("a.dat", "installed");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_TRUE(DecompressPackages(run));
  EXPECT_EQ(Texts(prompt), std::vector<std::string>{"_a_dat.ppk"});
  EXPECT_EQ(prompt.Shown()[0].reason, "what it holds is not the listed file (its MD5 differs)");
  EXPECT_EQ(run.fileFailures["\\a.dat"], prompt.Shown()[0].reason);
  EXPECT_EQ(folder.Read("a.dat"), "installed");
  EXPECT_FALSE(platform::PathExists("temp\\_a_dat.ppk"));
}

TEST_F(DecompressPackagesTest, APackageLeftByAnEarlierRunThatNoLongerFitsGoesSilently) {
  std::string corrupt = Package(PatternBytes(50000), "c.dat");
  corrupt[corrupt.size() / 2] ^= 0x55;
  const std::pair<std::string, std::string> leftOvers[] = {
      {"\\a.dat", Package("the content of an older release", "a.dat")},
      {"\\b.dat", Package("no longer listed", "b.dat")},
      {"\\c.dat", corrupt},
      {"\\f\\g.dat", Package("a sibling of the same package name", "f.g.dat")},
  };
  for (const auto& [key, package] : leftOvers) {
    folder.Write(key.substr(1), "installed");
    folder.Write("temp/" + PackageNameOf(key), package);
    FileDigests& digests = run.files.FindOrAdd(key);
    digests.fetched = DigestOfBytes("what an earlier run fetched");
    digests.listed = DigestOfBytes("what the server lists now");
  }
  run.files.Find("\\b.dat")->listed = Digest{};
  // Current already: a package left for it is no reason to fetch one.
  folder.Write("e.dat", "current e");
  folder.Write("temp/_e_dat.ppk", Package("an older e", "e.dat"));
  FileDigests& current = run.files.FindOrAdd("\\e.dat");
  current.installed = current.listed = DigestOfBytes("current e");
  current.fetched = DigestOfBytes("an older e");
  Waiting("\\d.dat", "current");
  ScriptedPrompt prompt;
  ASSERT_TRUE(DecompressPackages(run));
  EXPECT_TRUE(prompt.Shown().empty());
  for (const auto& [key, package] : leftOvers) {
    EXPECT_EQ(folder.Read(key.substr(1)), "installed") << key;
    EXPECT_FALSE(platform::PathExists("temp\\" + PackageNameOf(key))) << key;
    EXPECT_TRUE(IsZeroDigest(run.files.Find(key)->fetched)) << key << ": fetched again";
  }
  EXPECT_EQ(folder.Read("d.dat"), "current");
  EXPECT_EQ(run.fetchAgain.size(), 3u) << "the stale ones, a.dat, c.dat, f\\g.dat, in this run";
  EXPECT_FALSE(platform::PathExists("f.g.dat"));
  EXPECT_EQ(folder.Read("e.dat"), "current e");
  EXPECT_FALSE(platform::PathExists("temp\\_e_dat.ppk"));
  EXPECT_EQ(run.fetchAgain.count("\\b.dat"), 0u);
}

// Kept, that package would fail every later run the same way, even against a mended server.
TEST_F(DecompressPackagesTest, ATargetThatCannotBeReplacedDropsThePackageToFetchItAgain) {
  Waiting("\\held", "new");
  fs::create_directories("held/inside");  // a folder where the file should go
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_TRUE(DecompressPackages(run));
  EXPECT_EQ(Texts(prompt).back(), "_held.ppk");
  EXPECT_FALSE(platform::PathExists("temp\\_held.ppk"));
  EXPECT_TRUE(IsZeroDigest(run.files.Find("\\held")->fetched));
  EXPECT_TRUE(platform::IsFolder("held"));
}

TEST_F(DecompressPackagesTest, ATargetAnotherProgramHoldsKeepsItsPackageForALaterRun) {
  Waiting("\\held.dat", "new");
  folder.Write("held.dat", "old");
  platform::File holder;
  ASSERT_TRUE(holder.Open("held.dat", platform::FileMode::Read, platform::FileShare::None));
  if (!platform::IsHeldByAnotherProgram("held.dat")) {
    GTEST_SKIP() << "this system lets an open file be replaced";
  }
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_TRUE(DecompressPackages(run));
  EXPECT_TRUE(platform::PathExists("temp\\_held_dat.ppk"));
  holder.Close();
  EXPECT_EQ(folder.Read("held.dat"), "old");
}

TEST_F(DecompressPackagesTest, ALeftOverUnpackingFileIsReplaced) {
  Waiting("\\a.dat", "fresh");
  folder.Write("a.dat.unpacking", "left by a crash, longer than the new content");
  ASSERT_TRUE(DecompressPackages(run));
  EXPECT_EQ(folder.Read("a.dat"), "fresh");
  EXPECT_FALSE(platform::PathExists("a.dat.unpacking"));
}

TEST_F(DecompressPackagesTest, AStopEndsAfterTheCurrentPackage) {
  Waiting("\\a.dat", "a");
  job.state = PatchState::Stop;
  ended = DecompressPackages(run);
  EXPECT_FALSE(ended);
  EXPECT_TRUE(platform::PathExists("temp\\_a_dat.ppk"));
  EXPECT_TRUE(platform::PathExists("localfileStatus.log"));
  EXPECT_EQ(EndStateOf(ended), PatchState::Stop);
}

TEST_F(DecompressPackagesTest, AFolderThatCannotBeMadeIsToldAndTheFileFails) {
  folder.Write("data", "a file where the folder should be");
  Waiting("\\data\\a.dat", "a");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk).Then(platform::kAnswerOk);
  EXPECT_TRUE(DecompressPackages(run));
  EXPECT_EQ(Texts(prompt),
            (std::vector<std::string>{"Cannot create directory.\ndata\\", "_data_a_dat.ppk"}));
  EXPECT_EQ(prompt.Shown()[0].caption, "") << "the application's own box";
  EXPECT_EQ(prompt.Shown()[0].style, platform::kBoxOk | platform::kBoxIconExclamation);
  EXPECT_FALSE(platform::PathExists("temp\\_data_a_dat.ppk"));
}

// A package fetched for one file installs that file or fails it, loudly; the others go on.
TEST_F(DecompressPackagesTest, AFetchedPackageThatCannotBeUsedFailsItsFileAlone) {
  const std::string portalPage = "<html><body>Sign in to the hotel Wi-Fi</body></html>";
  struct Row {
    std::string key;
    std::string package;
    std::string why;  // a part of the reason its file fails
  };
  const std::vector<Row> rows = {
      {"\\page.dat", portalPage, "no trailer"},
      {"\\gzip.dat", portalPage + PackageTrailer("gzip.dat"), "not a gzip package"},
      {"\\data\\a.dat", Package("a sibling", "data.a.dat"), "names data.a.dat, not data\\a.dat"},
      {"\\up.dat", Package("evil", "..\\up.dat"), "no trailer"},
      {"\\other.dat", Package("other", "good.dat"), "names good.dat"},
      {"\\held", Package("the listed content", "held"), "cannot write held"},
  };
  for (const Row& row : rows) {
    Waiting(row.key, "the listed content");
    folder.Write("temp/" + PackageNameOf(row.key), row.package);
  }
  fs::create_directories("held/inside");  // a folder where a file belongs
  Waiting("\\good.dat", "good");
  Waiting("\\data\\z.dat", "last");
  ScriptedPrompt prompt;
  for (int i = 0; i < 3; ++i) prompt.Then(platform::kAnswerOk);

  ASSERT_TRUE(DecompressPackages(run));
  EXPECT_EQ(folder.Read("good.dat"), "good");
  EXPECT_EQ(folder.Read("data/z.dat"), "last");
  for (const Row& row : rows) {
    ASSERT_EQ(run.fileFailures.count(row.key), 1u) << row.key;
    EXPECT_NE(run.fileFailures[row.key].find(row.why), std::string::npos)
        << row.key << ": " << run.fileFailures[row.key];
    EXPECT_NE(run.files.Find(row.key)->installed, run.files.Find(row.key)->listed);
  }
  EXPECT_EQ(run.fileFailures.size(), rows.size());
  EXPECT_FALSE(platform::PathExists("data.a.dat")) << "a sibling is never written";
  EXPECT_FALSE(platform::PathExists("data\\a.dat"));
  EXPECT_FALSE(platform::PathExists("..\\up.dat"));
  const std::vector<std::string> texts = Texts(prompt);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "_data_a_dat.ppk") +
                std::count(texts.begin(), texts.end(), "_gzip_dat.ppk") +
                std::count(texts.begin(), texts.end(), "_held.ppk") +
                std::count(texts.begin(), texts.end(), "_other_dat.ppk") +
                std::count(texts.begin(), texts.end(), "_page_dat.ppk") +
                std::count(texts.begin(), texts.end(), "_up_dat.ppk"),
            1)
      << "one failure is shown; the run's end names them all";
}

// Windows names ignore case, so a trailer that differs from its key in case alone is the
// key's own file there, and another file elsewhere.
TEST_F(DecompressPackagesTest, ATrailerInAnotherCaseIsTheSameFileOnlyWhereNamesIgnoreCase) {
  Waiting("\\Data\\Map.dat", "map");
  folder.Write("temp/_Data_Map_dat.ppk", Package("map", "data\\MAP.DAT"));
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  ASSERT_TRUE(DecompressPackages(run));
  const bool namesIgnoreCase = platform::ComparableName("a") == platform::ComparableName("A");
  EXPECT_EQ(run.fileFailures.empty(), namesIgnoreCase);
  EXPECT_EQ(platform::PathExists("Data\\Map.dat"), namesIgnoreCase);
  EXPECT_FALSE(!namesIgnoreCase && platform::PathExists("data\\MAP.DAT"));
}

// Bytes that a part kept from before got wrong are no fault of the server's file.
TEST_F(DecompressPackagesTest, AResumedPackageThatProvesDamagedIsToBeFetchedWholeQuietly) {
  Waiting("\\a.dat", "the listed content");
  run.files.Find("\\a.dat")->resumedThisRun = true;
  folder.Write("temp/_a_dat.ppk", Package("other bytes after the part", "a.dat"));
  ScriptedPrompt prompt;
  ASSERT_TRUE(DecompressPackages(run));
  EXPECT_TRUE(prompt.Shown().empty());
  EXPECT_TRUE(run.fileFailures.empty());
  ASSERT_EQ(run.fetchAgain.count("\\a.dat"), 1u);
  EXPECT_FALSE(run.files.Find("\\a.dat")->resumedThisRun) << "a second time fails loudly";
  EXPECT_FALSE(platform::PathExists("temp\\_a_dat.ppk"));
}

TEST(MakeFoldersTest, CreatesEachFolderOnTheWay) {
  ScratchFolder folder;
  MakeFolders("a\\\\b\\c\\file.dat");
  EXPECT_TRUE(platform::IsFolder("a\\b\\c"));
  EXPECT_FALSE(platform::PathExists("a\\b\\c\\file.dat"));
  MakeFolders("plain.dat");
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

}  // namespace
