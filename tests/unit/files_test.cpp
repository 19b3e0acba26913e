#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "tests/support/scratch_folder.h"

namespace {
std::vector<std::string> Names(const std::string& pattern) {
  std::vector<platform::FoundEntry> found;
  EXPECT_TRUE(platform::FindEntries(pattern, found));
  std::vector<std::string> names;
  for (const auto& entry : found) names.push_back(entry.name + (entry.folder ? "\\" : ""));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FilesTest, BackslashNamesReachFilesInFolders) {
  ScratchFolder folder;
  ASSERT_TRUE(platform::CreateFolder("data"));
  ASSERT_TRUE(platform::CreateFolder("data\\maps"));
  EXPECT_FALSE(platform::CreateFolder("data"));
  platform::File file;
  ASSERT_TRUE(file.Open("data\\maps\\a.dat", platform::FileMode::Write));
  ASSERT_TRUE(file.Write("hello", 5));
  file.Close();
  EXPECT_EQ(folder.Read("data/maps/a.dat"), "hello");
  EXPECT_TRUE(platform::PathExists("data\\maps\\a.dat"));
  EXPECT_TRUE(platform::IsFolder("data\\maps"));
  EXPECT_FALSE(platform::IsFolder("data\\maps\\a.dat"));
  EXPECT_FALSE(platform::PathExists("data\\missing"));
}

TEST(FilesTest, ReadSeekAndLength) {
  ScratchFolder folder;
  folder.Write("f.bin", std::string("0123456789"));
  platform::File file;
  EXPECT_FALSE(file.Open("missing.bin", platform::FileMode::Read));
  ASSERT_TRUE(file.Open("f.bin", platform::FileMode::Read));
  EXPECT_EQ(file.Length().value_or(-1), 10);
  ASSERT_TRUE(file.Seek(7));
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 3);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
}

TEST(FilesTest, OpeningAFolderAsAFileFails) {
  ScratchFolder folder;
  ASSERT_TRUE(platform::CreateFolder("temp"));
  platform::File file;
  EXPECT_FALSE(file.Open("temp", platform::FileMode::Read));
  EXPECT_FALSE(platform::RemoveFile("temp"));
}

TEST(FilesTest, WriteModeEmptiesAnExistingFileAndReadWriteKeepsIt) {
  ScratchFolder folder;
  folder.Write("v.txt", "1.5\r\n");
  {
    platform::File file;
    ASSERT_TRUE(file.Open("v.txt", platform::FileMode::ReadWrite));
    EXPECT_EQ(file.Length().value_or(-1), 5);
  }
  {
    platform::File file;
    ASSERT_TRUE(file.Open("v.txt", platform::FileMode::Write));
  }
  EXPECT_EQ(folder.Read("v.txt"), "");
}

TEST(FilesTest, AReadOnlyFileOpensForReadingOnly) {
  ScratchFolder folder;
  folder.Write("local.ver", "1.5");
  namespace fs = std::filesystem;
  const fs::perms writable =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions("local.ver", writable, fs::perm_options::remove);

  platform::File file;
  EXPECT_FALSE(file.Open("local.ver", platform::FileMode::ReadWrite));
  EXPECT_FALSE(file.Open("local.ver", platform::FileMode::Write));
  EXPECT_EQ(platform::ReadWholeFile("local.ver").value_or(""), "1.5");

  fs::permissions("local.ver", fs::perms::owner_write, fs::perm_options::add);
  EXPECT_TRUE(file.Open("local.ver", platform::FileMode::ReadWrite));
}

TEST(FilesTest, ReadWholeFileTakesEveryByteOrNothing) {
  ScratchFolder folder;
  std::string content(200000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  folder.Write("pserv.log", content);
  EXPECT_EQ(platform::ReadWholeFile("pserv.log"), content);
  folder.Write("empty.log", "");
  EXPECT_EQ(platform::ReadWholeFile("empty.log"), "");
  EXPECT_FALSE(platform::ReadWholeFile("missing.log"));
  EXPECT_FALSE(platform::ReadWholeFile(".")) << "a folder is not a file";
}

TEST(FilesTest, ARegularFileIsReadWithinItsLimitAndAnythingElseIsRefusedSayingWhy) {
  ScratchFolder folder;
  folder.Write("ten.log", "0123456789");
  folder.Write("empty.log", "");
  ASSERT_TRUE(platform::CreateFolder("folder.log"));
  struct Case {
    const char* name;
    std::uint64_t limit;
    std::optional<std::string> bytes;
    bool missing;
    const char* why;
  } cases[] = {
      {"ten.log", 10, "0123456789", false, ""},
      {"empty.log", 0, "", false, ""},
      {"ten.log", 9, std::nullopt, false, "it is 10 bytes long, more than the 9"},
      {"missing.log", 10, std::nullopt, true, ""},
      {"folder.log", 10, std::nullopt, false, "it is a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " within " + std::to_string(c.limit));
    const platform::WholeFile read = platform::ReadRegularFile(c.name, c.limit);
    EXPECT_EQ(read.bytes, c.bytes);
    EXPECT_EQ(read.missing, c.missing);
    EXPECT_EQ(read.why.rfind(c.why, 0), 0u) << read.why;
  }
}

TEST(FilesTest, KindsOfNamesAndWhetherTheyStayInsideTheFolder) {
  ScratchFolder folder;
  folder.Write("data\\a.dat", "a");
  EXPECT_EQ(platform::KindOf("data\\a.dat"), platform::EntryKind::File);
  EXPECT_EQ(platform::KindOf("data"), platform::EntryKind::Folder);
  EXPECT_EQ(platform::KindOf("data\\none"), platform::EntryKind::Missing);
  EXPECT_TRUE(platform::LiesInsideCurrentDirectory(".\\data\\a.dat"));
  EXPECT_TRUE(platform::LiesInsideCurrentDirectory("data"));
  EXPECT_FALSE(platform::LiesInsideCurrentDirectory("."));
  EXPECT_FALSE(platform::LiesInsideCurrentDirectory("..\\"));
  const std::string back = "..\\" + std::filesystem::path(folder.path()).filename().string();
  EXPECT_TRUE(platform::LiesInsideCurrentDirectory(back + "\\data\\a.dat")) << "out and in";
  EXPECT_FALSE(platform::LiesInsideCurrentDirectory("data\\none"));
}

TEST(FilesTest, CopyMoveAndDeleteReplaceTargets) {
  ScratchFolder folder;
  folder.Write("new", "new content");
  folder.Write("old", "old");
  ASSERT_TRUE(platform::CopyFileOver("new", "old"));
  EXPECT_EQ(folder.Read("old"), "new content");
  EXPECT_FALSE(platform::CopyFileOver("missing", "old"));
  EXPECT_EQ(folder.Read("old"), "new content");
  folder.Write("moved", "moved content");
  ASSERT_TRUE(platform::MoveFileOver("moved", "old"));
  EXPECT_EQ(folder.Read("old"), "moved content");
  EXPECT_FALSE(platform::PathExists("moved"));
  EXPECT_TRUE(platform::RemoveFile("old"));
  EXPECT_FALSE(platform::RemoveFile("old"));
}

TEST(FilesTest, FindMatchesPatternsWithoutRegardToCase) {
  ScratchFolder folder;
  folder.Write("temp\\a.ppk", "");
  folder.Write("temp\\B.PPK", "");
  folder.Write("temp\\c.txt", "");
  folder.Write("temp\\.hidden", "");
  ASSERT_TRUE(platform::CreateFolder("temp\\sub"));
  EXPECT_EQ(Names("temp\\*.ppk"), (std::vector<std::string>{"B.PPK", "a.ppk"}));
  EXPECT_EQ(Names("temp\\*"),
            (std::vector<std::string>{".hidden", "B.PPK", "a.ppk", "c.txt", "sub\\"}));
  EXPECT_EQ(Names("temp\\?.txt"), (std::vector<std::string>{"c.txt"}));
  EXPECT_TRUE(Names("nowhere\\*").empty());
}

TEST(FilesTest, CurrentDirectoryIsTheScratchFolder) {
  ScratchFolder folder;
  EXPECT_EQ(platform::CurrentDirectory(), folder.path());
}
}  // namespace
