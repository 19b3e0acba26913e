#include "engine/http_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "tests/support/test_servers.h"

namespace {

class HttpConnectionTest : public testing::Test {
 protected:
  void SetUp() override { server.Reset(); }
  FaultServer server;
  HttpConnection connection;
};

TEST_F(HttpConnectionTest, ConnectsOnceAndRemembersTheServer) {
  EXPECT_FALSE(connection.Connect("", server.port(), "."));
  EXPECT_EQ(connection.host(), "");

  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), "patch/live"));
  EXPECT_EQ(connection.host(), "127.0.0.1");
  EXPECT_EQ(connection.folder(), "patch/live");
  EXPECT_EQ(connection.port(), server.port());

  EXPECT_FALSE(connection.Connect("localhost", 2100, "other")) << "open: must close first";
  EXPECT_EQ(connection.host(), "127.0.0.1");
  EXPECT_EQ(connection.folder(), "patch/live");

  connection.Close();
  EXPECT_EQ(connection.host(), "");
  EXPECT_TRUE(connection.Connect("127.0.0.1", server.port(), "."));
}

// Hosts come from files the server supplies: both transports refuse one that would send the
// requests, or the credentials, anywhere else.
TEST_F(HttpConnectionTest, AHostThatIsMoreThanAHostIsRefused) {
  for (const char* host : {"quarn@127.0.0.1", "127.0.0.1:80", "127.0.0.1/other", "127.0.0.1?q",
                           "127.0.0.1#f", "127.0.0.1 evil", "[::1]"}) {
    SCOPED_TRACE(host);
    EXPECT_FALSE(connection.Connect(host, server.port(), "."));
    EXPECT_EQ(connection.host(), "");
  }
}

// On a link of 100 ms a challenge answered first would cost every file a round trip more.
TEST_F(HttpConnectionTest, EveryRequestCarriesTheAgentAndCredentialsFromTheFirst) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) server.Serve(name, "hello");
  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), "."));
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    EXPECT_EQ(connection.OpenFile(name), 5) << name;
    connection.CloseRequest();
  }

  std::vector<LoggedRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u) << "one request a file, none answered 401 first";
  EXPECT_EQ(requests[0].path, "/./a.txt") << "folder + \"/\" + name, as it stands";
  for (const LoggedRequest& request : requests) {
    EXPECT_EQ(request.status, 200);
    EXPECT_EQ(request.user, "quarn");
    EXPECT_EQ(request.agent, "Quarn Patch Client");
  }
}

// A server that wants its credentials in another scheme refuses the Basic ones sent up front;
// the file is then asked for again without them, for the system's client to answer the
// challenge in that scheme (libcurl speaks Digest; Wine's WinINet does not).
TEST_F(HttpConnectionTest, AChallengeOfAnotherSchemeIsLeftToTheSystemsClient) {
  server.Serve("a.txt", "hello");
  server.SetRules(R"({"*": {"digest": true}})");
  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), "."));
  connection.OpenFile("a.txt");
  connection.CloseRequest();

  std::vector<LoggedRequest> requests = server.Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0].status, 401) << "the Basic credentials sent up front";
  EXPECT_EQ(requests[1].status, 401) << "asked again with no credentials, for the challenge";
}

TEST_F(HttpConnectionTest, FolderAndNameAreJoinedAsTheyStand) {
  server.Serve("patch/live/b.bin", "x");
  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), "patch/live"));
  EXPECT_EQ(connection.OpenFile("b.bin"), 1);
  connection.CloseRequest();
  EXPECT_EQ(server.Requests().back().path, "/patch/live/b.bin");

  connection.Close();
  server.Serve("c.bin", "yz");
  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), ""));
  EXPECT_EQ(connection.OpenFile("c.bin"), 2);
  EXPECT_EQ(server.Requests().back().path, "/c.bin");
}

TEST_F(HttpConnectionTest, ARefusalIsFinalAtOnce) {
  server.SetRules(R"({"gone.bin": {"status": 404, "no_auth": true},
                      "broken.bin": {"status": 500, "no_auth": true}})");
  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), "."));
  EXPECT_EQ(connection.OpenFile("gone.bin"), -1);
  EXPECT_EQ(connection.OpenFile("broken.bin"), -1);
  ASSERT_EQ(server.Requests().size(), 2u) << "no retry after a status of 400 or more";
  EXPECT_EQ(connection.host(), "127.0.0.1") << "a refusal keeps the connection";

  server.Serve("next.bin", "1");
  EXPECT_EQ(connection.OpenFile("next.bin"), 1) << "the connection still serves";
}

TEST_F(HttpConnectionTest, AnUnreachableServerCostsFiveAttempts) {
  std::vector<std::chrono::milliseconds> pauses;
  connection.SetRetryPause([&](std::chrono::milliseconds pause) { pauses.push_back(pause); });
  ASSERT_TRUE(connection.Connect("127.0.0.1", ClosedPort(), "."));
  EXPECT_EQ(connection.OpenFile("a.txt"), -1);
  EXPECT_EQ(pauses, std::vector<std::chrono::milliseconds>(5, std::chrono::milliseconds(500)));
  EXPECT_EQ(connection.host(), "127.0.0.1") << "reconnected after the last attempt";
  EXPECT_EQ(connection.port(), ClosedPort());
}

TEST_F(HttpConnectionTest, AConnectionClosedWithoutAnAnswerIsATransportFailure) {
  server.SetRules(R"({"lock.ftp": {"hang_up": true}})");
  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), "."));
  EXPECT_EQ(connection.OpenFile("lock.ftp"), -1);
  int asked = 0;
  for (const LoggedRequest& request : server.Requests()) asked += request.path == "/./lock.ftp";
  EXPECT_GE(asked, HttpConnection::kAttempts) << "retried as an unreachable server is";
}

TEST_F(HttpConnectionTest, ReconnectsWhenTheServerDroppedTheConnection) {
  // The first answer closes the connection without a body; the retry gets a fresh one.
  server.SetRules(R"({"drop.bin": {"drop_after": 0}})");
  server.Serve("drop.bin", "payload");
  server.Serve("after.bin", "ok");
  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), "."));
  connection.OpenFile("drop.bin");
  connection.CloseRequest();
  EXPECT_EQ(connection.OpenFile("after.bin"), 2);
}

// What a user is told of each fault must name it, and be the same whichever system's client
// met it: only the system's own words, in the parentheses, may differ.
TEST_F(HttpConnectionTest, EachFaultHasTheSameReasonOnEveryTransport) {
  struct Case {
    const char* what;
    std::string host;
    std::uint16_t port;
    const char* rules;
    std::string reason;  // up to the system's words; a trailing '*' takes any rest
  };
  const std::string refused = "127.0.0.1:" + std::to_string(ClosedPort());
  const Case cases[] = {
      {"refused port", "127.0.0.1", ClosedPort(), "{}", "cannot connect to " + refused},
      {"unknown host", "patch.invalid", server.port(), "{}",
       "the name patch.invalid does not resolve"},
      {"wrong credentials", "127.0.0.1", server.port(), R"({"f.bin": {"deny": true}})", "HTTP 401"},
      {"missing file", "127.0.0.1", server.port(), "{}", "HTTP 404"},
      {"cut body", "127.0.0.1", server.port(), R"({"f.bin": {"drop_after": 1000}})",
       "cut at byte 1000 of 5000"},
      {"stall", "127.0.0.1", server.port(), R"({"f.bin": {"stall": 5}})",
       "no byte for 2 s at byte 0"},
      {"trickle", "127.0.0.1", server.port(), R"({"f.bin": {"trickle": 2}})",
       "slower than 1 KiB/s: *"},
      {"redirect to another port", "127.0.0.1", server.port(),
       R"({"f.bin": {"redirect": "http://127.0.0.1:1/f.bin"}})",
       "redirected to http://127.0.0.1:1/f.bin, away from the patch server: *"},
      {"redirect to another host", "127.0.0.1", server.port(),
       R"({"f.bin": {"redirect": "//localhost.invalid/f.bin"}})",
       "redirected to //localhost.invalid/f.bin, away from the patch server: *"},
      {"redirect loop", "127.0.0.1", server.port(), R"({"f.bin": {"redirect": "f.bin"}})",
       "more than 5 redirects"},
  };
  connection.SetRetryPause([](std::chrono::milliseconds) {});
  // The trickle sends a piece a second: not a stall.
  connection.SetIdleTimeout(std::chrono::seconds(2));
  connection.SetSpeedWindow(std::chrono::seconds(3));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.Reset();
    if (std::string(c.what) != "missing file") server.Serve("f.bin", PatternBytes(5000));
    server.SetRules(c.rules);
    connection.Close();
    ASSERT_TRUE(connection.Connect(c.host, c.port, "."));
    char buffer[512];
    std::uint32_t read = 1;
    bool failed = connection.OpenFile("f.bin") == -1;
    while (!failed && read > 0) failed = !connection.ReadFile(buffer, sizeof buffer, read);
    connection.CloseRequest();
    ASSERT_TRUE(failed);
    const std::string reason = connection.failure();
    const std::string shared = reason.substr(0, reason.find(" ("));
    if (c.reason.ends_with('*')) {
      EXPECT_TRUE(shared.starts_with(c.reason.substr(0, c.reason.size() - 1))) << reason;
    } else {
      EXPECT_EQ(shared, c.reason) << reason;
    }
  }
}

// What -v shows: each attempt as it went, the answered one without the failures before it.
// WinINet may resend on a closed connection by itself, so the attempts that fail are counted
// from the records, not from the server.
TEST_F(HttpConnectionTest, EachRequestIsToldAsItEnded) {
  server.Serve("f.bin", "12345");
  server.SetRules(R"({"f.bin": {"hang_up": true, "first": 2}})");
  std::vector<HttpRequestRecord> told;
  connection.SetRequestLog([&](const HttpRequestRecord& request) { told.push_back(request); });
  connection.SetRetryPause([](std::chrono::milliseconds) {});
  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), "."));
  ASSERT_EQ(connection.OpenFile("f.bin"), 5);
  char buffer[8];
  std::uint32_t read = 1;
  while (read > 0) ASSERT_TRUE(connection.ReadFile(buffer, sizeof buffer, read));
  connection.CloseRequest();
  EXPECT_EQ(connection.failure(), "");
  ASSERT_GE(told.size(), 2u);
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/./f.bin";
  for (std::size_t i = 0; i + 1 < told.size(); ++i) {
    EXPECT_EQ(told[i].url, url);
    EXPECT_FALSE(told[i].status);
    EXPECT_TRUE(told[i].failure.starts_with("no answer")) << told[i].failure;
  }
  EXPECT_EQ(told.back().url, url);
  EXPECT_EQ(told.back().status, 200u);
  EXPECT_EQ(told.back().bytes, 5u);
  EXPECT_EQ(told.back().failure, "");
}

// Redirects that stay on the server are followed, and the file comes from where they lead.
TEST_F(HttpConnectionTest, ARedirectOnTheSameServerIsFollowed) {
  server.Serve("live/new.bin", "moved");
  server.SetRules(R"({"old.bin": {"redirect": "/live/new.bin"}})");
  ASSERT_TRUE(connection.Connect("127.0.0.1", server.port(), "."));
  ASSERT_EQ(connection.OpenFile("old.bin"), 5);
  char buffer[8];
  std::uint32_t read = 0;
  ASSERT_TRUE(connection.ReadFile(buffer, sizeof buffer, read));
  EXPECT_EQ(std::string(buffer, read), "moved");
}

// Started with the fault server as the system proxy: a host nobody can resolve is reached
// through it, credentials and all.
TEST(SystemProxyTest, RequestsGoThroughTheSystemProxy) {
  FaultServer server;
  server.Reset();
  ASSERT_NE(std::getenv("VELDRA_PROXY_PORT"), nullptr) << "run with serve.py --proxy";
  server.Serve("a.txt", "hello");
  HttpConnection connection;
  ASSERT_TRUE(connection.Connect("patch.invalid", 2100, "."));
  EXPECT_EQ(connection.OpenFile("a.txt"), 5);
  std::vector<LoggedRequest> requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().path, "http://patch.invalid:2100/./a.txt");
  EXPECT_EQ(requests.back().user, "quarn");
}

}  // namespace
