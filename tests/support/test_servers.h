#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The servers that testbed/serve.py runs beside a test program, found through the
// environment it sets. Each accessor fails the test when the program runs without them.

// A request as the fault-injecting server logged it.
struct LoggedRequest {
  std::string path;
  std::string agent;
  std::string user;
  int status = 0;
  std::string range;  // the Range header; empty for none
  int atOnce = 0;     // requests being answered when it was, itself included
};

class FaultServer {
 public:
  FaultServer();
  std::uint16_t port() const { return port_; }

  // Back to a fresh state: no files, no rules, no logged requests.
  void Reset() const;
  void Serve(const std::string& name, const std::string& content) const;
  // The rules as JSON, for example {"a.bin": {"status": 404}}.
  void SetRules(const std::string& json) const;
  std::vector<LoggedRequest> Requests() const;
  // The Range header of each request answered past the credentials' challenge, in order; of
  // the one path (as "/./veldra.exe") when given.
  std::vector<std::string> RangesAsked(const std::string& path = "") const;

 private:
  std::uint16_t port_ = 0;
  std::string root_;
  std::string rules_;
  std::string log_;
};

class NginxServer {
 public:
  NginxServer();
  std::uint16_t port() const { return port_; }
  void Serve(const std::string& name, const std::string& content) const;
  // One line per request: user, "request line", status, bytes, "agent".
  std::vector<std::string> AccessLog() const;

 private:
  std::uint16_t port_ = 0;
  std::string root_;
  std::string log_;
};

// A port of 127.0.0.1 on which every connection is refused.
std::uint16_t ClosedPort();

// `count` bytes that are not a repetition of a short pattern, nor compress, the same on every
// build; another (nonzero) `seed` gives others.
std::string PatternBytes(std::size_t count, std::uint64_t seed = 2463534242u);
