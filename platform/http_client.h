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
  // Sent as Basic credentials with every request, so that no request waits for a challenge
  // first; given to the system's client as well, for a challenge of another scheme.
  std::string user;
  std::string password;
  std::string agent;
};

// The rest of a file whose first `from` bytes are at hand: "Range: bytes=from-", and with a
// validator "If-Range", so that a file changed since comes whole (200) instead of spliced.
struct HttpRange {
  std::uint64_t from = 0;
  std::string ifRange;  // the ETag or Last-Modified the bytes came with; empty for none
};

// What the transports can tell apart, the same on every system.
enum class HttpFault {
  None,
  UnknownHost,  // the name does not resolve
  Refused,      // nothing listens, or the connection could not be made
  Stalled,      // no byte within the idle timeout
  Broken,       // the connection ended in the middle of an answer
  Other,
};

// Why the last call failed: the fault, and the system's own words with its error number.
struct HttpError {
  HttpFault fault = HttpFault::None;
  std::string detail;  // "WinINet error 12029: ...", "libcurl error 7: ..."
};

// The system's HTTP client (WinINet on Windows, libcurl elsewhere): one server, and one GET
// on it at a time, whose body is read in pieces. Redirects are answers like any other: the
// caller decides which to follow.
class HttpClient {
 public:
  HttpClient();
  ~HttpClient();

  // Connecting and every read give up after this long without a byte; set before Open.
  void SetIdleTimeout(std::chrono::milliseconds timeout) { idleTimeout_ = timeout; }
  std::chrono::milliseconds IdleTimeout() const { return idleTimeout_; }

  // Replaces what was open before.
  bool Open(const HttpServer& server);
  bool IsOpen() const;
  void Close();

  // Sends a GET for `path` and waits for the answer's status line and headers; false when no
  // answer came. Ends the request before it, if one was open.
  bool Get(const std::string& path, const std::optional<HttpRange>& range = std::nullopt);
  std::optional<std::uint32_t> Status();
  // The body's length as the answer announced it; none when it did not.
  std::optional<std::uint64_t> ContentLength();
  // A header of the answer (ETag, Last-Modified, Content-Range, Location), as sent.
  std::optional<std::string> Header(const std::string& name);
  bool BytesAvailable(std::uint32_t& available);
  // True with 0 bytes read only when the whole body has arrived; a body cut short (fewer
  // bytes than announced, or a transfer seen broken) is a failed read.
  bool Read(void* buffer, std::uint32_t size, std::uint32_t& read);
  void EndRequest();
  // From the next request on, sends no credentials until the server asks for them, and
  // then in the scheme it names (a round trip more per request). False when it already did.
  bool AnswerChallengesOnly();

  // Of the last Open, Get, BytesAvailable or Read that failed.
  const HttpError& LastError() const { return error_; }

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
  std::chrono::milliseconds idleTimeout_{60000};
  HttpError error_;
};

}  // namespace platform
