// Pipes, devices and links where the game folder should hold plain files. Each is refused
// without waiting on it and without anything made or read outside the game folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/file_list_stage.h"
#include "engine/folder_verify.h"
#include "engine/local_check.h"
#include "engine/patch_run.h"
#include "engine/pserv_log.h"
#include "engine/status_log.h"
#include "engine/worker.h"
#include "platform/files.h"
#include "tests/support/game_folder_test.h"
#include "tests/support/scripted_prompt.h"

namespace {

namespace fs = std::filesystem;

void Pipe(const char* name) {
  fs::remove(name);
  ASSERT_EQ(mkfifo(name, 0644), 0);
}

void Link(const std::string& target, const char* name) {
  fs::remove(name);
  fs::create_symlink(target, name);
}

class SpecialFilesTest : public GameFolderTest {
 protected:
  void SetUp() override {
    GameFolderTest::SetUp();
    outside = fs::path(folder.path()).parent_path() /
              (fs::path(folder.path()).filename().string() + "-outside");
    fs::create_directories(outside);
    fs::path secret = outside / "secret";
    FILE* file = std::fopen(secret.c_str(), "w");
    std::fputs("not the game's", file);
    std::fclose(file);
  }
  void TearDown() override { fs::remove_all(outside); }

  fs::path outside;
};

TEST_F(SpecialFilesTest, APipeOrAnEndlessDeviceIsNeitherOpenedNorWaitedOn) {
  Pipe("pipe.log");
  Link("/dev/zero", "zero.log");
  for (const char* name : {"pipe.log", "zero.log"}) {
    SCOPED_TRACE(name);
    platform::File file;
    EXPECT_FALSE(file.Open(name, platform::FileMode::Read));
    EXPECT_FALSE(file.Open(name, platform::FileMode::ReadWrite));
    const platform::WholeFile read = platform::ReadRegularFile(name, 1 << 20);
    EXPECT_FALSE(read.bytes);
    EXPECT_FALSE(read.missing);
    EXPECT_EQ(read.why, "it is no regular file but a device, a pipe or a socket");
    EXPECT_EQ(platform::KindOf(name), platform::EntryKind::Other);
  }
}

TEST_F(SpecialFilesTest, AStatusLogOrStampsThatNeverEndGiveAFirstRun) {
  const Damage damages[] = {
      {"status log linked to /dev/zero", [] { Link("/dev/zero", kStatusLogName); }},
      {"status log a pipe", [] { Pipe(kStatusLogName); }},
      {"stamps linked to /dev/zero, and a game file a pipe",
       [] {
         Link("/dev/zero", "localfileStamps.log");
         Pipe("data/pipe.dat");
       }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    damage.make();
    EXPECT_EQ(NextRunsGameFile().installed, DigestOfBytes("game file"));
    EXPECT_EQ(platform::KindOf(kStatusLogName), platform::EntryKind::File);
  }
}

TEST_F(SpecialFilesTest, AFirstRunWalksNoFolderThroughALink) {
  Link("..", "data/loop");  // back to the game folder, without end
  Link(outside.string(), "data/outside");
  Link("a.dat", "data/linked.dat");
  ASSERT_TRUE(CheckLocalFiles(run));
  std::vector<std::string> keys;
  for (const auto& [key, digests] : run.files) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"\\data\\a.dat", "\\data\\linked.dat", "\\patch.sys"}));
}

TEST_F(SpecialFilesTest, AListLinkedToAnEndlessDeviceIsFetchedAgainInItsPlace) {
  RunningAndConnected();
  const std::string list = FileListBytes({{"\\data\\a.dat", DigestOfBytes("game file")}});
  server.Serve("filelist.log", list);
  folder.Write("pserv.log", PservLogBytes(DigestOfBytes(list), Digest{}, {{"Server1", "x"}}));
  Link("/dev/zero", "filelist.log");
  ASSERT_TRUE(LoadFileList(run));
  EXPECT_FALSE(fs::is_symlink("filelist.log"));
  EXPECT_EQ(folder.Read("filelist.log"), list);
}

TEST_F(SpecialFilesTest, ALockLinkedOutOfTheFolderIsRefusedAndMakesNothingThere) {
  Link((outside / "made.lock").string(), kFolderLockName);
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  bool worked = false;
  RunHoldingGameFolder(job, {}, [&worked](PatchRun&) {
    worked = true;
    return Outcome::GoOn();
  });
  EXPECT_FALSE(worked);
  EXPECT_EQ(CurrentState(job), PatchState::Failed);
  EXPECT_FALSE(fs::exists(outside / "made.lock"));
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].text.rfind("Cannot lock the game folder", 0), 0u);
}

TEST_F(SpecialFilesTest, VerifyReadsOnlyRegularFilesInsideTheFolder) {
  using Kind = FolderReport::Difference::Kind;
  folder.Write("data/same.dat", "game file");
  Pipe("data/pipe.dat");
  Link("/dev/zero", "data/zero.dat");
  Link((outside / "secret").string(), "data/out.dat");
  Link("a.dat", "data/in.dat");
  const Digest secret = DigestOfBytes("not the game's");
  folder.Write("filelist.log", FileListBytes({
                                   {"\\..\\..\\etc\\hostname", secret},
                                   {"\\data\\a.dat", DigestOfBytes("game file")},
                                   {"\\data\\gone.dat", secret},
                                   {"\\data\\in.dat", DigestOfBytes("game file")},
                                   {"\\data\\out.dat", secret},
                                   {"\\data\\pipe.dat", secret},
                                   {"\\data\\same.dat", secret},
                                   {"\\data\\zero.dat", secret},
                               }));
  FolderReport report;
  RunVerifyWorker(job, report);
  EXPECT_EQ(CurrentState(job), PatchState::Done);
  EXPECT_EQ(report.listed, 8u);
  struct Expected {
    const char* key;
    Kind kind;
    const char* why;
  } expected[] = {
      {"\\..\\..\\etc\\hostname", Kind::Refused, "no game file can have it: a \"..\""},
      {"\\data\\gone.dat", Kind::Missing, ""},
      {"\\data\\out.dat", Kind::Refused, "a link that leads out of the game folder"},
      {"\\data\\pipe.dat", Kind::Refused, "a device, a pipe or a socket"},
      {"\\data\\same.dat", Kind::Differs, ""},
      {"\\data\\zero.dat", Kind::Refused, "a device, a pipe or a socket"},
  };
  ASSERT_EQ(report.differences.size(), std::size(expected));
  for (std::size_t at = 0; at < std::size(expected); ++at) {
    SCOPED_TRACE(expected[at].key);
    EXPECT_EQ(report.differences[at].key, expected[at].key);
    EXPECT_EQ(report.differences[at].kind, expected[at].kind);
    EXPECT_EQ(report.differences[at].why, expected[at].why);
  }
}

}  // namespace
