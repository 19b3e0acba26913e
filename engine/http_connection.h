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
  virtual ~HttpConnection();
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

struct PatchJob;

// What becomes of a file once it has arrived whole in temp\.
enum class Arrival {
  Staged,   // it waits there for the unpacking, which checks what it holds
  Kept,     // as Staged, and flushed to the disk, for a caller that moves it into place
  InPlace,  // flushed to the disk, then moved over the local file of the same name
};

// What a file must be to replace the local one, beyond arriving whole.
struct FileCheck {
  std::uint64_t largest = 0;  // bytes; a longer answer is refused at its first byte too many
  // Why the complete file at `path` (below the game folder) may not replace the local one;
  // none when it may.
  std::function<std::optional<std::string>(const std::string& path)> unsound;
};

// Streams the server file `name` into "temp\" + name over the job's connection, with the
// progress in the job. A file that did not arrive whole never replaces anything. A failure
// has been shown to the user, naming the file, with its reason; so has a file that would
// take the disk's reserve (nothing of it is kept, and the job's `diskFull` is set). A stop
// asked for while the body arrives ends the download after the read in progress: false, with
// no message; callers tell it from a failure by the state.
//
// What no patch server sends is refused before its body is kept: a web page (a portal's or a
// proxy's, in place of the file), a piece (206) of a file asked for whole, and with a release
// key a length other than the signed release lists; no body is read past that length.
//
// Files whose content is checked once they are whole (Staged and Kept) resume: what arrived
// of a body that broke off waits as NAME.part, and the next attempt, in this run or a later
// one, asks only for the rest. `resumed` tells whether the file was put together so. With a
// release key, one put together that is not the listed file is fetched whole once more.
bool DownloadFile(PatchJob& job, const std::string& name, Arrival arrival, bool* resumed = nullptr);
// InPlace, and only once `check` finds the whole file sound: a refused file leaves the local
// one as it was, and the player is told why.
bool DownloadFile(PatchJob& job, const std::string& name, const FileCheck& check);
