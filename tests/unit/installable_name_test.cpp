#include "engine/installable_name.h"

#include <gtest/gtest.h>

#include "platform/files.h"

namespace {

TEST(InstallableNameTest, NamesThatWouldLeaveTheFolderOrCannotBeFilesAreRefused) {
  // A key of 247 bytes gives a package name of 256 while it arrives (".ppk.part"), longer than
  // a file system holds.
  const std::string tooLong(246, 'n');
  const std::pair<std::string, bool> cases[] = {
      {"\\data\\maps\\a.dat", true},
      {"\\a b\\c.d e", true},
      {"\\CONFIG.sys", true},
      {"\\com10.txt", true},
      {"\\" + tooLong, false},
      {"\\..\\outside", false},
      {"\\data\\..\\..\\outside", false},
      {"\\.\\a", false},
      {"\\a\\\\b", false},
      {"\\\\server\\share", false},
      {"data\\no-leading", false},
      {"\\C:\\windows\\a.dll", false},
      {"\\a/b", false},
      {"\\a\tb", false},
      {"\\a\x7f", false},
      {"\\what?", false},
      {"\\a<b", false},
      {"\\CON", false},
      {"\\nul", false},
      {"\\aux.txt", false},
      {"\\sub\\Com1.log", false},
      {"\\lpt9", false},
      {"\\trailing.", false},
      {"\\trailing ", false},
  };
  for (const auto& [key, installable] : cases) {
    EXPECT_EQ(!WhyNotInstallable(key, 10).has_value(), installable) << key;
  }
}

TEST(InstallableNameTest, TheGameFolderCountsTowardsTheLongestPath) {
  const std::string key = "\\" + std::string(100, 'k');
  const std::size_t room = platform::LongestPath() - key.size() - 15;
  EXPECT_FALSE(WhyNotInstallable(key, room).has_value());
  EXPECT_TRUE(WhyNotInstallable(key, room + 1).has_value());
}

}  // namespace
