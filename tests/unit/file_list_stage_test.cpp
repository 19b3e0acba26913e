#include "engine/file_list_stage.h"

#include <gtest/gtest.h>

#include "engine/file_list.h"
#include "engine/patch_run.h"
#include "engine/pserv_log.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "tests/support/listed_samples.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/stage_test.h"
#include "tests/support/test_servers.h"

namespace {

class LoadFileListTest : public StageTest {
 protected:
  // The sample without its case variant, which is one file where names ignore case.
  static std::vector<ListedFile> StageList() {
    std::vector<ListedFile> list = SampleList();
    list.erase(list.begin() + 1);
    return list;
  }
  void SetUp() override {
    StageTest::SetUp();
    ASSERT_TRUE(run.connection.Connect("127.0.0.1", server.port(), "."));
  }
  void Announce(const std::string& list) {
    folder.Write("pserv.log",
                 PservLogBytes(DigestOfBytes(list), Filled(0), {{"Server1", "127.0.0.1"}}));
  }
  // pserv.log announces `list`; then the stage runs.
  bool LoadAnnounced(const std::string& list) {
    Announce(list);
    return static_cast<bool>(LoadFileList(run));
  }
  bool FileListRequested() const {
    for (const LoggedRequest& request : server.Requests()) {
      if (request.path == "/./filelist.log") return true;
    }
    return false;
  }
};

TEST_F(LoadFileListTest, AMatchingLocalListIsReadWithoutAFetch) {
  std::string list = FileListBytes(StageList());
  folder.Write("filelist.log", list);
  ASSERT_TRUE(LoadAnnounced(list));
  EXPECT_FALSE(FileListRequested());
  EXPECT_EQ(run.files.size(), StageList().size());
}

TEST_F(LoadFileListTest, AMissingOrStaleListIsFetchedFirst) {
  std::string list = FileListBytes(StageList());
  server.Serve("filelist.log", list);
  ASSERT_TRUE(LoadAnnounced(list));
  EXPECT_TRUE(FileListRequested());
  EXPECT_EQ(folder.Read("filelist.log"), list);

  server.Reset();
  std::string newer = FileListBytes({{"\\new", Filled(3)}});
  server.Serve("filelist.log", newer);
  ASSERT_TRUE(LoadAnnounced(newer));
  EXPECT_TRUE(FileListRequested());
  EXPECT_EQ(run.files.Find("\\new")->listed, Filled(3));
}

TEST_F(LoadFileListTest, KeysThatCannotBeInstalledAreTakenOffTheList) {
  std::string list = FileListBytes({{"\\ok.dat", Filled(1)},
                                    {"\\..\\outside.dat", Filled(2)},
                                    {"\\CON", Filled(3)},
                                    {"\\a\\b:c", Filled(4)}});
  folder.Write("filelist.log", list);
  ASSERT_TRUE(LoadAnnounced(list));
  EXPECT_EQ(run.files.Find("\\ok.dat")->listed, Filled(1));
  for (const char* refused : {"\\..\\outside.dat", "\\CON", "\\a\\b:c"}) {
    EXPECT_TRUE(IsZeroDigest(run.files.Find(refused)->listed)) << refused;
  }
  EXPECT_EQ(run.refusedName, "\\..\\outside.dat (a \"..\")");
}

TEST_F(LoadFileListTest, AListWhoseKeysCollideIsRefusedNamingBoth) {
  std::string list = FileListBytes({{"\\data\\a.dat", Filled(1)}, {"\\data.a.dat", Filled(2)}});
  folder.Write("filelist.log", list);
  Announce(list);
  const ScriptedPrompt::Box box = FailureBox(LoadFileList);
  EXPECT_NE(box.text.find("names both \\data.a.dat and \\data\\a.dat"), std::string::npos)
      << box.text;
  EXPECT_NE(CurrentFailureReason(job).find("\\data.a.dat"), std::string::npos);
}

TEST_F(LoadFileListTest, AnUnusablePservLogFailsTheStage) {
  for (std::string pservLog : {std::string(), std::string(19, 'p')}) {
    folder.Write("pserv.log", pservLog);
    const ScriptedPrompt::Box box = FailureBox(LoadFileList);
    EXPECT_EQ(box.text, "Error reading pserv.log");
    EXPECT_EQ(box.caption, "Error");
  }
  platform::RemoveFile("pserv.log");
  FailureBox(LoadFileList);
  EXPECT_FALSE(FileListRequested());
}

TEST_F(LoadFileListTest, AListThatCannotBeFetchedFailsTheStage) {
  Announce("not what the server has");
  const ScriptedPrompt::Box box = FailureBox(LoadFileList);
  EXPECT_EQ(box.caption, "Error Downloading File");
}

}  // namespace
