#include "engine/http_connection.h"

#include <algorithm>
#include <cstdint>

#include "engine/server_string.h"
#include "platform/clock.h"

namespace {

bool SameText(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
  });
}

bool IsRedirect(std::uint32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The path a redirect sends the request to, when it stays on this host and port: the
// credentials go with every request, and the files must come from the server that was chosen.
std::optional<std::string> RedirectedPath(std::string location, const std::string& host,
                                          std::uint16_t port, const std::string& path) {
  location.erase(std::min(location.find('#'), location.size()));
  if (location.empty()) return std::nullopt;
  std::string_view rest = location;
  if (SameText(rest.substr(0, 7), "http://")) {
    rest.remove_prefix(5);  // to the "//" of the authority
  } else if (rest.find(':') < rest.find('/')) {
    return std::nullopt;  // another scheme
  }
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const std::string_view authority = rest.substr(0, rest.find('/'));
    rest.remove_prefix(authority.size());
    const std::size_t colon = authority.find(':');
    const std::string_view name = authority.substr(0, colon);
    const std::string_view digits =
        colon == std::string_view::npos ? "80" : authority.substr(colon + 1);
    if (!SameText(name, host) || digits != std::to_string(port)) return std::nullopt;
    return rest.empty() ? std::string("/") : std::string(rest);
  }
  if (rest.front() == '/') return std::string(rest);
  return path.substr(0, path.rfind('/') + 1) + std::string(rest);
}

// A 401 whose challenge names a scheme other than Basic: the credentials sent up front did not
// fit, and the server says how it wants them.
bool AsksForAnotherScheme(platform::HttpClient& client) {
  if (client.Status() != 401u) return false;
  const std::optional<std::string> challenge = client.Header("WWW-Authenticate");
  if (!challenge) return false;
  const std::string scheme = challenge->substr(0, challenge->find(' '));
  return !SameText(scheme, "Basic");
}

std::string Seconds(std::chrono::milliseconds time) {
  return std::to_string((time.count() + 999) / 1000) + " s";
}

// Why a request got no answer, in the same words whichever system's client sent it.
std::string NoAnswer(const platform::HttpError& error, const std::string& host, std::uint16_t port,
                     std::chrono::milliseconds idleTimeout) {
  std::string what;
  switch (error.fault) {
    case platform::HttpFault::UnknownHost:
      what = "the name " + host + " does not resolve";
      break;
    case platform::HttpFault::Refused:
      what = "cannot connect to " + host + ":" + std::to_string(port);
      break;
    case platform::HttpFault::Stalled:
      what = "no answer for " + Seconds(idleTimeout);
      break;
    default:
      what = "no answer";
      break;
  }
  return what + " (" + error.detail + ")";
}

}  // namespace

HttpConnection::HttpConnection()
    : pause_([](std::chrono::milliseconds pause) {
        platform::SleepMilliseconds(static_cast<unsigned>(pause.count()));
      }) {}

HttpConnection::~HttpConnection() { Close(); }

bool HttpConnection::Connect(const std::string& host, std::uint16_t port,
                             const std::string& folder) {
  if (client_.IsOpen() || !IsPlainHost(host)) return false;
  if (!client_.Open(platform::HttpServer{host, port, kUser, kPassword, kAgent})) return false;
  host_ = host;
  folder_ = folder;
  port_ = port;
  return true;
}

bool HttpConnection::ConnectLike(const HttpConnection& model) {
  pause_ = model.pause_;
  speedWindow_ = model.speedWindow_;
  client_.SetIdleTimeout(model.client_.IdleTimeout());
  return Connect(model.host_, model.port(), model.folder_);
}

std::int32_t HttpConnection::OpenFile(const std::string& name,
                                      const std::optional<platform::HttpRange>& range) {
  failure_.clear();
  status_.reset();
  offset_ = 0;
  std::string path = folder_ + '/' + name;
  std::uint32_t status = 0;
  for (int redirects = 0;; ++redirects) {
    if (!Request(path, range)) return -1;
    status = client_.Status().value_or(0);
    if (status >= 400) return Fail("HTTP " + std::to_string(status));
    if (status < 300) break;
    const std::optional<std::string> location = client_.Header("Location");
    if (!IsRedirect(status) || !location) return Fail("HTTP " + std::to_string(status));
    if (redirects == kMostRedirects) {
      return Fail("more than " + std::to_string(kMostRedirects) + " redirects");
    }
    std::optional<std::string> next = RedirectedPath(*location, host_, port(), path);
    // Where a captive portal sends every request: the player can do something about that.
    if (!next) {
      return Fail("redirected to " + *location +
                  ", away from the patch server: if the network wants a sign-in (a Wi-Fi or a "
                  "proxy), sign in and try again");
    }
    EndRecord();
    path = std::move(*next);
  }
  if (range && status == 206) offset_ = range->from;
  std::uint32_t available = 0;
  if (!QueryDataAvailable(available)) return -1;
  return static_cast<std::int32_t>(std::min<std::uint32_t>(available, INT32_MAX));
}

// Sends the GET, retrying and reconnecting while no answer comes.
bool HttpConnection::Request(const std::string& path,
                             const std::optional<platform::HttpRange>& range) {
  const std::string host = host_;  // the retries reconnect to this one
  const std::string url = "http://" + host + ":" + std::to_string(port_) +
                          (path.empty() || path.front() != '/' ? "/" : "") + path;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    started_ = Clock::now();
    windowStart_ = started_;
    windowBytes_ = 0;
    record_.emplace();
    record_->url = url;
    if (!client_.IsOpen()) {
      failure_ = "cannot open a connection (" + client_.LastError().detail + ")";
    } else if (client_.Get(path, range)) {
      failure_.clear();  // an attempt before may have failed; this one answered
      record_->status = client_.Status();
      status_ = record_->status;
      if (AsksForAnotherScheme(client_) && client_.AnswerChallengesOnly()) {
        EndRecord();
        return Request(path, range);  // once more, answered in the server's scheme
      }
      return true;
    } else {
      failure_ = NoAnswer(client_.LastError(), host, port(), client_.IdleTimeout());
    }
    EndRecord();
    Close();  // keeps the folder and the port for the reconnect
    pause_(std::chrono::milliseconds(kRetryPauseMs));
    Connect(host, port(), folder_);
  }
  return false;
}

std::int32_t HttpConnection::Fail(std::string reason) {
  failure_ = std::move(reason);
  CloseRequest();
  return -1;
}

bool HttpConnection::QueryDataAvailable(std::uint32_t& available) {
  return client_.BytesAvailable(available) || FailBody();
}

bool HttpConnection::ReadFile(void* buffer, std::uint32_t size, std::uint32_t& read) {
  // No more than is at hand: WinINet waits for a whole buffer, and a trickle would then hold
  // one read for minutes, out of reach of the speed floor.
  std::uint32_t available = 0;
  if (!client_.BytesAvailable(available)) return FailBody();
  if (available > 0) size = std::min(size, available);
  if (!client_.Read(buffer, size, read)) return FailBody();
  if (record_) record_->bytes += read;
  return !TooSlow();
}

bool HttpConnection::FailBody() {
  const platform::HttpError& error = client_.LastError();
  // In bytes of the whole file, also when only its rest was asked for.
  const std::uint64_t received = offset_ + (record_ ? record_->bytes : 0);
  std::optional<std::uint64_t> length = client_.ContentLength();
  if (length) *length += offset_;
  if (error.fault == platform::HttpFault::Stalled) {
    failure_ =
        "no byte for " + Seconds(client_.IdleTimeout()) + " at byte " + std::to_string(received);
  } else if (error.fault == platform::HttpFault::Broken ||
             error.fault == platform::HttpFault::None) {
    failure_ = "cut at byte " + std::to_string(received) +
               (length ? " of " + std::to_string(*length) : std::string());
  } else {
    failure_ = "the body could not be read at byte " + std::to_string(received);
  }
  if (!error.detail.empty()) failure_ += " (" + error.detail + ")";
  return false;
}

// Looked at once per window: what came since its start must reach the floor.
bool HttpConnection::TooSlow() {
  const Clock::time_point now = Clock::now();
  if (now - windowStart_ < speedWindow_ || !record_) return false;
  const std::uint64_t came = record_->bytes - windowBytes_;
  const auto window = std::chrono::duration_cast<std::chrono::milliseconds>(now - windowStart_);
  windowStart_ = now;
  windowBytes_ = record_->bytes;
  if (came * 1000 >= std::uint64_t{kSlowestBytesPerSecond} * window.count()) return false;
  failure_ = "slower than 1 KiB/s: " + std::to_string(came) + " bytes in " + Seconds(window);
  return true;
}

void HttpConnection::EndRecord() {
  if (!record_) return;
  record_->time = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_);
  record_->failure = failure_;
  if (requestLog_) requestLog_(*record_);
  record_.reset();
}

void HttpConnection::CloseRequest() {
  EndRecord();
  client_.EndRequest();
}

void HttpConnection::Close() {
  CloseRequest();
  client_.Close();
  host_.clear();
}
