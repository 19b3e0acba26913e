#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/http_client.h"

// The worker's one connection to the patch server: a host, a port and a folder that every
// file name is taken relative to, with one file request open at a time. OpenFile retries and
// reconnects by itself.
class HttpConnection {
 public:
  static constexpr const char* kAgent = "Quarn Patch Client";
  static constexpr const char* kUser = "quarn";
  static constexpr const char* kPassword = "482vbn%^&VBN";
  static constexpr int kAttempts = 5;
  static constexpr unsigned kRetryPauseMs = 500;

  HttpConnection();
  virtual ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Waits out the pause between attempts; tests that are not about the pause skip it.
  using Pause = std::function<void(std::chrono::milliseconds)>;
  void SetRetryPause(Pause pause) { pause_ = std::move(pause); }

  // A stalled server ends a request after this long without a byte.
  void SetIdleTimeout(std::chrono::milliseconds timeout) { client_.SetIdleTimeout(timeout); }

  // Fails without effect while a connection is open: close first to change servers. Refuses
  // a host with anything in it that would change the address's meaning (a user, a port, a
  // path, a query): hosts come from files the server itself supplies.
  bool Connect(const std::string& host, std::uint16_t port, const std::string& folder);
  // Requests folder + "/" + name. The bytes readable at once, or -1 when the server refused
  // the file (status 400 or more, at once) or could not be reached in five attempts.
  std::int32_t OpenFile(const std::string& name);
  // The open file's length as the server announced it, if it did.
  std::optional<std::uint64_t> ContentLength() { return client_.ContentLength(); }
  bool QueryDataAvailable(std::uint32_t& available) { return client_.BytesAvailable(available); }
  bool ReadFile(void* buffer, std::uint32_t size, std::uint32_t& read) {
    return client_.Read(buffer, size, read);
  }
  void CloseRequest() { client_.EndRequest(); }
  void Close();

  // Empty exactly while no connection is open.
  const std::string& host() const { return host_; }
  const std::string& folder() const { return folder_; }
  std::uint16_t port() const { return static_cast<std::uint16_t>(port_); }

 private:
  platform::HttpClient client_;
  Pause pause_;
  std::string host_;
  std::string folder_;
  std::uint32_t port_ = 0;
};

struct PatchJob;

// What becomes of a file once it has arrived whole in temp\.
enum class Arrival {
  Staged,   // it waits there for the unpacking, which checks what it holds
  Kept,     // as Staged, and flushed to the disk, for a caller that moves it into place
  InPlace,  // flushed to the disk, then moved over the local file of the same name
};

// Streams the server file `name` into "temp\" + name over the job's connection, with the
// progress in the job. A file that did not arrive whole never replaces anything. A failure
// has been shown to the user, naming the file; so has a file that would take the disk's
// reserve (nothing of it is kept). A stop asked for while the body arrives ends the download
// after the read in progress: false, with no message and nothing of the file kept; callers
// tell it from a failure by the state.
bool DownloadFile(PatchJob& job, const std::string& name, Arrival arrival);
