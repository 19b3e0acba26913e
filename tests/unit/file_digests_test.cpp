#include "engine/file_digests.h"

#include <gtest/gtest.h>

#include "tests/support/listed_samples.h"
#include "tests/support/scratch_folder.h"

namespace {

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

TEST(FileListTest, AFileDiffersUnlessItOpensAndMatches) {
  ScratchFolder folder;
  folder.Write("data/a.dat", "content");
  EXPECT_FALSE(FileDiffersFromDigest(".\\data\\a.dat", DigestOfBytes("content")));
  EXPECT_TRUE(FileDiffersFromDigest(".\\data\\a.dat", DigestOfBytes("other")));
  EXPECT_TRUE(FileDiffersFromDigest(".\\data\\missing.dat", DigestOfBytes("")));
  EXPECT_TRUE(FileDiffersFromDigest(".\\data", DigestOfBytes(""))) << "a folder is no file";
}

}  // namespace
