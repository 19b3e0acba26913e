// A server that takes Digest credentials only, against the native transport: libcurl answers
// its challenge (Wine's WinINet has no Digest, so this program runs natively).
#include <gtest/gtest.h>

#include <vector>

#include "engine/http_connection.h"
#include "tests/support/test_servers.h"

namespace {

TEST(DigestChallengeTest, AServerThatAsksForDigestServesItsFiles) {
  FaultServer server;
  server.Reset();
  server.Serve("a.txt", "hello");
  server.Serve("b.txt", "hello");
  server.SetRules(R"({"*": {"digest": true}})");
  HttpConnection connection;
  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), "."));
  for (const char* name : {"a.txt", "b.txt"}) {
    EXPECT_EQ(connection.OpenFile(name), 5) << name << ": " << connection.failure();
    connection.CloseRequest();
  }
  std::vector<LoggedRequest> requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().status, 200);
  EXPECT_EQ(requests.back().user, "quarn");
}

}  // namespace
