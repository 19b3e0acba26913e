#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// One platform's HTTP calls in the shape of WinINet's three handles: a session, a connection
// to one server, and one request on that connection at a time. WinINet on Windows, libcurl
// elsewhere. Each Open* replaces what it opened before.
class HttpTransport {
 public:
  HttpTransport();
  ~HttpTransport();
  HttpTransport(const HttpTransport&) = delete;
  HttpTransport& operator=(const HttpTransport&) = delete;

  // Connect and every read give up after this long without a byte; set before OpenSession.
  void SetIdleTimeout(std::chrono::milliseconds timeout) { idleTimeout_ = timeout; }

  bool OpenSession(const std::string& agent);
  bool OpenConnection(const std::string& host, std::uint16_t port, const std::string& user,
                      const std::string& password);
  bool OpenRequest(const std::string& path);
  // Sends the GET and waits for the answer's status line and headers.
  bool SendRequest();
  std::optional<std::uint32_t> StatusCode();
  // The body's length as the answer announced it; none when it did not.
  std::optional<std::uint64_t> ContentLength();
  bool QueryDataAvailable(std::uint32_t& available);
  // True with 0 bytes read only when the whole body has arrived; a body cut short (fewer
  // bytes than announced, or a transfer the transport saw broken) is a failed read.
  bool ReadFile(void* buffer, std::uint32_t size, std::uint32_t& read);

  bool HasSession() const;
  bool HasConnection() const;
  void CloseRequest();
  void CloseConnection();
  void CloseSession();

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
  std::chrono::milliseconds idleTimeout_{60000};
};
