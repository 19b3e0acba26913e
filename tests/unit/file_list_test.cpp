#include "engine/file_list.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "engine/file_digests.h"
#include "platform/file_names.h"
#include "tests/support/listed_samples.h"

namespace {

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

}  // namespace
