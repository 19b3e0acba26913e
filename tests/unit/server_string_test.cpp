#include "engine/server_string.h"

#include <gtest/gtest.h>

#include "engine/pserv_log.h"

namespace {
using Servers = std::vector<std::string>;

struct SplitCase {
  const char* server;
  const char* host;
  std::optional<std::uint16_t> port;
  std::optional<std::string> folder;
};

class SplitServerStringTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitServerStringTest, SplitsHostPortAndFolder) {
  const SplitCase& c = GetParam();
  ServerAddress address = SplitServerString(c.server);
  EXPECT_EQ(address.host, c.host);
  EXPECT_EQ(address.port, c.port);
  EXPECT_EQ(address.folder, c.folder);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SplitServerStringTest,
    testing::Values(SplitCase{"patch.example", "patch.example", std::nullopt, std::nullopt},
                    SplitCase{"host/live", "host", std::nullopt, "live"},
                    SplitCase{"host:2101", "host", 2101, std::nullopt},
                    SplitCase{"host:2101/patch/live", "host", 2101, "patch/live"},
                    // A '/' before the ':' ends the host and drops the folder.
                    SplitCase{"host/live:2101", "host", 2101, std::nullopt},
                    // Empty parts change nothing; a port without digits is 0.
                    SplitCase{"host:/live", "host", std::nullopt, "live"},
                    SplitCase{"host:", "host", std::nullopt, std::nullopt},
                    SplitCase{"host/", "host", std::nullopt, std::nullopt},
                    SplitCase{"host:x", "host", 0, std::nullopt},
                    SplitCase{"", "", std::nullopt, std::nullopt},
                    SplitCase{":80", "", 80, std::nullopt}));

TEST(PortNumberTest, ReadsTheLeadingNumberAndKeepsSixteenBits) {
  EXPECT_EQ(PortNumber("2100"), 2100);
  EXPECT_EQ(PortNumber("  80abc"), 80);
  EXPECT_EQ(PortNumber("70000"), 70000 - 65536);
  EXPECT_EQ(PortNumber("-1"), 65535);
  EXPECT_EQ(PortNumber("4294967296"), 0);  // wraps where atoi would overflow
}

TEST(HostOfListEntryTest, CutsPortAndFolder) {
  EXPECT_EQ(HostOfListEntry("host/live"), "host");
  EXPECT_EQ(HostOfListEntry("host:2101/live"), "host");
  EXPECT_EQ(HostOfListEntry("host/live:2101"), "host");
  EXPECT_EQ(HostOfListEntry("Host"), "Host");
}

std::string Pserv(const std::string& list) { return std::string(36, '\0') + list; }

TEST(ServerListOfPservLogTest, ReadsEntriesInFileOrder) {
  EXPECT_EQ(ServerListOfPservLog(Pserv("s1=a:2100\r\ns2=b/live\r\n")),
            (Servers{"a:2100", "b/live"}));
  EXPECT_EQ(ServerListOfPservLog(Pserv("s1=a\ns2=b")), (Servers{"a", "b"}));
  EXPECT_EQ(ServerListOfPservLog(Pserv("s1=a\r\n\r\n==s2=b\r\n")), (Servers{"a", "b"}));
  // A name at the very end with nothing after its '=' is an empty entry.
  EXPECT_EQ(ServerListOfPservLog(Pserv("s1=a\r\ns2=")), (Servers{"a", ""}));
}

TEST(ServerListOfPservLogTest, CutOrEmptyFilesHoldNoList) {
  for (std::size_t length = 0; length < 36; ++length) {
    EXPECT_TRUE(ServerListOfPservLog(std::string(length, 'x')).empty()) << length;
  }
  EXPECT_TRUE(ServerListOfPservLog(Pserv("")).empty());
  EXPECT_TRUE(ServerListOfPservLog(Pserv("no entries here")).empty());
  // The header's bytes are never read as entries, whatever they hold.
  EXPECT_EQ(ServerListOfPservLog(std::string(35, '=') + "\n" + "s=a"), (Servers{"a"}));
}

TEST(FolderOfRemoteVerTest, TakesAllAfterTheFirstLineBreak) {
  EXPECT_EQ(FolderOfRemoteVer("1.5\r\nlive"), "live");
  EXPECT_EQ(FolderOfRemoteVer("1.5\r\nlive\r\n"), "live\r\n");
  EXPECT_EQ(FolderOfRemoteVer("1.5\nlive"), "ive");
  EXPECT_EQ(FolderOfRemoteVer("1.5\r"), "");
  EXPECT_EQ(FolderOfRemoteVer("1.5"), std::nullopt);
}
}  // namespace
