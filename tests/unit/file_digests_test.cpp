#include "engine/file_digests.h"

#include <gtest/gtest.h>

#include "engine/file_list.h"
#include "engine/file_list_stage.h"
#include "engine/patch_job.h"
#include "engine/pserv_log.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/stage_test.h"
#include "tests/support/test_servers.h"

namespace {

Digest Filled(std::uint8_t byte) {
  Digest digest;
  digest.fill(byte);
  return digest;
}

// Records whose digests hold CR, LF and NUL, keys that differ only in case.
std::vector<ListedFile> SampleList() {
  return {{"\\data\\a.dat", Filled('\r')},
          {"\\Data\\a.dat", Filled('\n')},
          {"\\veldra.exe", Filled(0)},
          {"\\x", DigestOfBytes("x")}};
}

TEST(FileDigestMapTest, KeysAreByteStringsInByteOrder) {
  FileDigestMap files;
  files.FindOrAdd("\\data\\a.dat").installed = Filled(1);
  files.FindOrAdd("\\Data\\a.dat");
  files.FindOrAdd("\\\xe4.dat");
  files.FindOrAdd("\\_a");
  EXPECT_EQ(files.FindOrAdd("\\data\\a.dat").installed, Filled(1)) << "found, not reset";
  EXPECT_EQ(files.Find("\\DATA\\a.dat"), nullptr);
  EXPECT_EQ(files.size(), 4u) << "Find added nothing";
  std::vector<std::string> order;
  for (const auto& entry : files) order.push_back(entry.first);
  EXPECT_EQ(order,
            (std::vector<std::string>{"\\Data\\a.dat", "\\_a", "\\data\\a.dat", "\\\xe4.dat"}));
  EXPECT_TRUE(IsZeroDigest(files.Find("\\_a")->installed));
}

TEST(FileDigestMapTest, PackageNames) {
  EXPECT_EQ(PackageNameOf("\\data\\maps\\a.dat"), "_data_maps_a_dat.ppk");
  EXPECT_EQ(PackageNameOf("\\veldra.exe"), "_veldra_exe.ppk");
  EXPECT_EQ(PackageNameOf("plain"), "plain.ppk");
  EXPECT_EQ(PackageNameOf("\\a b\\c.d.e"), "_a b_c_d_e.ppk");
}

TEST(PservLogTest, DigestsNeedTheirWholeBytes) {
  const std::string whole = PservLogBytes(Filled('\r'), Filled('\n'), {{"Server1", "a:1"}});
  ASSERT_EQ(whole.substr(36), "Server1=a:1\r\n");
  for (std::size_t length = 0; length <= whole.size(); ++length) {
    std::string_view cut = std::string_view(whole).substr(0, length);
    EXPECT_EQ(FileListDigestOfPservLog(cut).has_value(), length >= 20) << length;
    EXPECT_EQ(PatcherDigestOfPservLog(cut).has_value(), length >= 36) << length;
  }
  EXPECT_EQ(FileListDigestOfPservLog(whole), Filled('\r'));
  EXPECT_EQ(PatcherDigestOfPservLog(whole), Filled('\n'));
}

TEST(FileListTest, RoundTripWithAwkwardDigests) {
  FileDigestMap files;
  files.FindOrAdd("\\local.only").installed = Filled(7);
  ReadFileList(FileListBytes(SampleList()), files);
  ASSERT_EQ(files.size(), 5u);
  for (const ListedFile& listed : SampleList()) {
    ASSERT_NE(files.Find(listed.key), nullptr) << listed.key;
    EXPECT_EQ(files.Find(listed.key)->listed, listed.digest) << listed.key;
    EXPECT_TRUE(IsZeroDigest(files.Find(listed.key)->installed));
  }
  EXPECT_TRUE(IsZeroDigest(files.Find("\\local.only")->listed));
}

TEST(FileListTest, HeaderOnlyAndBadHeaders) {
  FileDigestMap files;
  ReadFileList("list\r\n0\r\n", files);
  EXPECT_TRUE(files.empty());
  for (const char* header : {"", "no line break at all", "one line only\r\n"}) {
    ReadFileList(std::string(header) + std::string(16, 'd') + "\\a\r\n", files);
  }
  EXPECT_TRUE(files.empty()) << "without two header lines there are no records";
}

TEST(FileListTest, ALaterRecordOfTheSameKeyWins) {
  FileDigestMap files;
  ReadFileList(FileListBytes({{"\\a", Filled(1)}, {"\\a", Filled(2)}}), files);
  EXPECT_EQ(files.Find("\\a")->listed, Filled(2));
}

TEST(FileListTest, ACutListKeepsTheWholeRecordsBeforeTheCut) {
  const std::string whole = FileListBytes(SampleList());
  const std::size_t headerEnd = whole.find("\r\n", whole.find("\r\n") + 2) + 2;
  for (std::size_t length = 0; length <= whole.size(); ++length) {
    FileDigestMap files;
    ReadFileList(std::string_view(whole).substr(0, length), files);
    std::size_t expected = 0;
    for (std::size_t end = headerEnd, i = 0; i < SampleList().size(); ++i) {
      end += 16 + SampleList()[i].key.size() + 2;
      if (end <= length) expected = i + 1;
    }
    EXPECT_EQ(files.size(), expected) << "cut at " << length;
  }
}

TEST(FileListTest, KeysThatNameNoFileArePassedOver) {
  std::string bytes = "h\r\nh\r\n";
  bytes += std::string(16, 'd') + "\r\n";                             // empty key
  bytes += std::string(16, 'd') + std::string("\\a\0b", 4) + "\r\n";  // a NUL inside
  bytes += std::string(16, 'e') + "\\c\r\n";
  FileDigestMap files;
  ReadFileList(bytes, files);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files.Find("\\c")->listed, Filled('e'));
}

TEST(FileListTest, AFileDiffersUnlessItOpensAndMatches) {
  ScratchFolder folder;
  folder.Write("data/a.dat", "content");
  EXPECT_FALSE(FileDiffersFromDigest(".\\data\\a.dat", DigestOfBytes("content")));
  EXPECT_TRUE(FileDiffersFromDigest(".\\data\\a.dat", DigestOfBytes("other")));
  EXPECT_TRUE(FileDiffersFromDigest(".\\data\\missing.dat", DigestOfBytes("")));
  EXPECT_TRUE(FileDiffersFromDigest(".\\data", DigestOfBytes(""))) << "a folder is no file";
}

// Two keys, and whether they collide on every system or only where names ignore case.
TEST(FileListTest, KeysThatWouldShareAFileOrAPackageCollide) {
  const bool namesIgnoreCase = platform::ComparableName("a") == platform::ComparableName("A");
  struct Case {
    const char* first;
    const char* second;
    bool collide;
  };
  const Case cases[] = {
      {"\\data\\a.dat", "\\data.a.dat", true},
      {"\\a.dat", "\\a_dat", true},
      {"\\data\\a.dat", "\\data\\b.dat", false},
      {"\\Data\\a.dat", "\\data\\A.DAT", namesIgnoreCase},
      {"\\x\\\xC9t\xE9.dat", "\\x\\\xC9T\xC9.DAT", namesIgnoreCase},
  };
  for (const Case& c : cases) {
    FileDigestMap files;
    files.FindOrAdd(c.first).listed = Filled(1);
    files.FindOrAdd(c.second).listed = Filled(2);
    std::optional<std::pair<std::string, std::string>> found = CollidingKeys(files);
    EXPECT_EQ(found.has_value(), c.collide) << c.first << " " << c.second;
    // Only what the server lists counts: a file the status log alone knows is never fetched.
    files.FindOrAdd(c.second).listed = Digest{};
    EXPECT_FALSE(CollidingKeys(files)) << c.first << " " << c.second;
  }
  FileDigestMap many;
  for (int i = 0; i < 200000; ++i) many.FindOrAdd("\\f_" + std::to_string(i)).listed = Filled(1);
  EXPECT_FALSE(CollidingKeys(many));
  many.FindOrAdd("\\f.7").listed = Filled(1);
  const std::pair<std::string, std::string> named("\\f.7", "\\f_7");
  EXPECT_EQ(CollidingKeys(many), named);
}

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
    ASSERT_TRUE(job.connection.Connect("127.0.0.1", server.port(), "."));
  }
  void Announce(const std::string& list) {
    folder.Write("pserv.log",
                 PservLogBytes(DigestOfBytes(list), Filled(0), {{"Server1", "127.0.0.1"}}));
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
  Announce(list);
  ASSERT_TRUE(LoadFileList(job));
  EXPECT_FALSE(FileListRequested());
  EXPECT_EQ(job.files.size(), StageList().size());
}

TEST_F(LoadFileListTest, AMissingOrStaleListIsFetchedFirst) {
  std::string list = FileListBytes(StageList());
  server.Serve("filelist.log", list);
  Announce(list);
  ASSERT_TRUE(LoadFileList(job));
  EXPECT_TRUE(FileListRequested());
  EXPECT_EQ(folder.Read("filelist.log"), list);

  server.Reset();
  std::string newer = FileListBytes({{"\\new", Filled(3)}});
  server.Serve("filelist.log", newer);
  Announce(newer);
  ASSERT_TRUE(LoadFileList(job));
  EXPECT_TRUE(FileListRequested());
  EXPECT_EQ(job.files.Find("\\new")->listed, Filled(3));
}

TEST_F(LoadFileListTest, KeysThatCannotBeInstalledAreTakenOffTheList) {
  std::string list = FileListBytes({{"\\ok.dat", Filled(1)},
                                    {"\\..\\outside.dat", Filled(2)},
                                    {"\\CON", Filled(3)},
                                    {"\\a\\b:c", Filled(4)}});
  folder.Write("filelist.log", list);
  Announce(list);
  ASSERT_TRUE(LoadFileList(job));
  EXPECT_EQ(job.files.Find("\\ok.dat")->listed, Filled(1));
  for (const char* refused : {"\\..\\outside.dat", "\\CON", "\\a\\b:c"}) {
    EXPECT_TRUE(IsZeroDigest(job.files.Find(refused)->listed)) << refused;
  }
  EXPECT_EQ(job.refusedName, "\\..\\outside.dat (a \"..\")");
}

TEST_F(LoadFileListTest, AListWhoseKeysCollideIsRefusedNamingBoth) {
  std::string list = FileListBytes({{"\\data\\a.dat", Filled(1)}, {"\\data.a.dat", Filled(2)}});
  folder.Write("filelist.log", list);
  Announce(list);
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_FALSE(LoadFileList(job));
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_NE(prompt.Shown()[0].text.find("names both \\data.a.dat and \\data\\a.dat"),
            std::string::npos)
      << prompt.Shown()[0].text;
  EXPECT_NE(CurrentFailureReason(job).find("\\data.a.dat"), std::string::npos);
}

TEST_F(LoadFileListTest, AnUnusablePservLogFailsTheStage) {
  for (std::string pservLog : {std::string(), std::string(19, 'p')}) {
    folder.Write("pserv.log", pservLog);
    ScriptedPrompt prompt;
    prompt.Then(platform::kAnswerOk);
    EXPECT_FALSE(LoadFileList(job));
    ASSERT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(prompt.Shown()[0].text, "Error reading pserv.log");
    EXPECT_EQ(prompt.Shown()[0].caption, "Error");
  }
  platform::RemoveFile("pserv.log");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_FALSE(LoadFileList(job));
  EXPECT_FALSE(FileListRequested());
}

TEST_F(LoadFileListTest, AListThatCannotBeFetchedFailsTheStage) {
  Announce("not what the server has");
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_FALSE(LoadFileList(job));
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].caption, "Error Downloading File");
}

}  // namespace
