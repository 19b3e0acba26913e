#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/http_client.h"

// One request as it went, for whoever watches the traffic.
struct HttpRequestRecord {
  std::string url;
  std::optional<std::uint32_t> status;  // none when no answer came
  std::uint64_t bytes = 0;              // of the body, as read
  std::chrono::milliseconds time{0};
  std::string failure;  // why it failed; empty when it did not
};

// The worker's one connection to the patch server: a host, a port and a folder that every
// file name is taken relative to, with one file request open at a time. OpenFile retries and
// reconnects by itself, and follows redirects that stay on the server. Every failure keeps
// its reason until the next request.
class HttpConnection {
 public:
  static constexpr const char* kAgent = "Quarn Patch Client";
  static constexpr const char* kUser = "quarn";
  static constexpr const char* kPassword = "482vbn%^&VBN";
  static constexpr int kAttempts = 5;
  static constexpr unsigned kRetryPauseMs = 500;
  static constexpr int kMostRedirects = 5;
  // A body slower than this on average over the window fails: a server that trickles would
  // otherwise hold the run forever, since each byte restarts the idle timeout.
  static constexpr std::uint32_t kSlowestBytesPerSecond = 1024;
  static constexpr std::chrono::seconds kSpeedWindow{60};

  HttpConnection();
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Waits out the pause between attempts; tests that are not about the pause skip it.
  using Pause = std::function<void(std::chrono::milliseconds)>;
  void SetRetryPause(Pause pause) { pause_ = std::move(pause); }

  // A stalled server ends a request after this long without a byte.
  void SetIdleTimeout(std::chrono::milliseconds timeout) { client_.SetIdleTimeout(timeout); }
  // Tests shorten the window of the speed floor; the floor itself stays.
  void SetSpeedWindow(std::chrono::milliseconds window) { speedWindow_ = window; }

  // Told of every request when it ends.
  using RequestLog = std::function<void(const HttpRequestRecord&)>;
  void SetRequestLog(RequestLog log) { requestLog_ = std::move(log); }

  // Fails without effect while a connection is open: close first to change servers. Refuses
  // a host with anything in it that would change the address's meaning (a user, a port, a
  // path, a query): hosts come from files the server itself supplies.
  bool Connect(const std::string& host, std::uint16_t port, const std::string& folder);
  // Connects to the server `model` is connected to, with its pause, idle timeout and speed
  // window: one more connection for transfers that run at once. Not its request log.
  bool ConnectLike(const HttpConnection& model);
  // Requests folder + "/" + name, or the rest of it from `range`. The bytes readable at once,
  // or -1 when the server refused the file (status 400 or more, at once), sent it elsewhere,
  // or could not be reached in five attempts.
  std::int32_t OpenFile(const std::string& name,
                        const std::optional<platform::HttpRange>& range = std::nullopt);
  // Of the last answer, kept until the next OpenFile.
  std::optional<std::uint32_t> Status() const { return status_; }
  // Of the open file's answer.
  std::optional<std::uint64_t> ContentLength() { return client_.ContentLength(); }
  std::optional<std::string> Header(const std::string& name) { return client_.Header(name); }
  // Waits for bytes and takes no more than are at hand; true with none read at the body's end.
  bool ReadFile(void* buffer, std::uint32_t size, std::uint32_t& read);
  void CloseRequest();
  void Close();

  // Why the last OpenFile or ReadFile failed: "HTTP 404", "cut at byte N
  // of M (...)"; the system's own words, when it had any, stand in the parentheses.
  const std::string& failure() const { return failure_; }

  // Empty exactly while no connection is open.
  const std::string& host() const { return host_; }
  const std::string& folder() const { return folder_; }
  std::uint16_t port() const { return static_cast<std::uint16_t>(port_); }

 private:
  using Clock = std::chrono::steady_clock;
  bool Request(const std::string& path, const std::optional<platform::HttpRange>& range);
  bool QueryDataAvailable(std::uint32_t& available);
  std::int32_t Fail(std::string reason);
  bool FailBody();
  bool TooSlow();
  void EndRecord();

  platform::HttpClient client_;
  Pause pause_;
  RequestLog requestLog_;
  std::chrono::milliseconds speedWindow_{kSpeedWindow};
  std::string host_;
  std::string folder_;
  std::uint32_t port_ = 0;
  std::string failure_;
  std::optional<std::uint32_t> status_;

  // The request in progress.
  std::optional<HttpRequestRecord> record_;
  std::uint64_t offset_ = 0;  // of its first byte in the file
  Clock::time_point started_;
  Clock::time_point windowStart_;
  std::uint64_t windowBytes_ = 0;
};
