#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// The server every request goes to, and as whom.
struct HttpServer {
  std::string host;  // a host name or address alone: no user, port or path in it
  std::uint16_t port = 80;
  std::string user;  // answered to a Basic challenge
  std::string password;
  std::string agent;
};

// The system's HTTP client (WinINet on Windows, libcurl elsewhere): one server, and one GET
// on it at a time, whose body is read in pieces.
class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Connecting and every read give up after this long without a byte; set before Open.
  void SetIdleTimeout(std::chrono::milliseconds timeout) { idleTimeout_ = timeout; }

  // Replaces what was open before.
  bool Open(const HttpServer& server);
  bool IsOpen() const;
  void Close();

  // Sends a GET for `path` and waits for the answer's status line and headers; false when no
  // answer came. Ends the request before it, if one was open.
  bool Get(const std::string& path);
  std::optional<std::uint32_t> Status();
  // The body's length as the answer announced it; none when it did not.
  std::optional<std::uint64_t> ContentLength();
  bool BytesAvailable(std::uint32_t& available);
  // True with 0 bytes read only when the whole body has arrived; a body cut short (fewer
  // bytes than announced, or a transfer seen broken) is a failed read.
  bool Read(void* buffer, std::uint32_t size, std::uint32_t& read);
  void EndRequest();

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
  std::chrono::milliseconds idleTimeout_{60000};
};

}  // namespace platform
