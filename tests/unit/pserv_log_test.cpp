#include "engine/pserv_log.h"

#include <gtest/gtest.h>

#include "tests/support/listed_samples.h"

namespace {

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

}  // namespace
