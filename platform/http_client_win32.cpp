#include <windows.h>
// after windows.h, which it needs
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "platform/base64.h"
#include "platform/handles_win32.h"
#include "platform/http_client.h"

namespace platform {
namespace {

// Set on every handle: a request takes its timeouts from where the system decides.
void SetTimeouts(HINTERNET handle, std::chrono::milliseconds timeout) {
  DWORD milliseconds = static_cast<DWORD>(timeout.count());
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
    InternetSetOptionA(handle, option, &milliseconds, sizeof milliseconds);
  }
}

// WinINet lets a process open only a few connections to one server at once, and a request
// past them waits for one to free: transfers that run at once would queue behind each other.
void AllowManyConnectionsPerServer() {
  static std::once_flag once;
  std::call_once(once, [] {
    DWORD most = 32;
    InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &most, sizeof most);
    InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &most, sizeof most);
  });
}

HttpFault FaultOf(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return HttpFault::UnknownHost;
    case ERROR_INTERNET_CANNOT_CONNECT:
    case WSAECONNREFUSED:
      return HttpFault::Refused;
    // Wine passes the socket's own error on where Windows gives WinINet's.
    case ERROR_INTERNET_TIMEOUT:
    case WSAETIMEDOUT:
      return HttpFault::Stalled;
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
    case WSAECONNRESET:
    case WSAECONNABORTED:
      return HttpFault::Broken;
    default:
      return HttpFault::Other;
  }
}

// WinINet's errors have their texts in its own module, not in the system's table.
std::string TextOf(DWORD code) {
  char text[512] = {};
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      GetModuleHandleA("wininet.dll"), code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    --length;
  }
  return length > 0 ? std::string(text, length) : "no text for it";
}

HttpError LastSystemError() {
  const DWORD code = GetLastError();
  return HttpError{FaultOf(code), "WinINet error " + std::to_string(code) + ": " + TextOf(code)};
}

std::string RangeHeaders(const HttpRange& range) {
  std::string headers = "Range: bytes=" + std::to_string(range.from) + "-\r\n";
  if (!range.ifRange.empty()) headers += "If-Range: " + range.ifRange + "\r\n";
  return headers;
}

// Every answer comes from the server, none from the system's cache (a stale list would hide a
// release); redirects are for the caller to judge.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;

}  // namespace

void CloseInternetHandle(void* handle) { InternetCloseHandle(handle); }

struct HttpClient::Handles {
  // Destroyed in reverse order: the request, then the connection, then the session.
  OwnedInternetHandle session;
  OwnedInternetHandle connection;
  OwnedInternetHandle request;
  // The Basic credentials every request carries; empty once challenges are answered instead.
  std::string authorization;
  // WinINet reports a connection closed inside a body as its end; only the count tells.
  std::optional<std::uint64_t> announced;
  std::uint64_t received = 0;
};

HttpClient::HttpClient() : handles_(std::make_unique<Handles>()) {}

HttpClient::~HttpClient() { Close(); }

bool HttpClient::Open(const HttpServer& server) {
  Close();
  AllowManyConnectionsPerServer();
  Handles& h = *handles_;
  h.session.Reset(
      InternetOpenA(server.agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!h.session) {
    error_ = LastSystemError();
    return false;
  }
  SetTimeouts(h.session.get(), idleTimeout_);
  h.connection.Reset(InternetConnectA(h.session.get(), server.host.c_str(), server.port,
                                      server.user.c_str(), server.password.c_str(),
                                      INTERNET_SERVICE_HTTP, 0, 0));
  // WinINet itself sends credentials only after a challenge: a round trip more per request.
  h.authorization = "Authorization: Basic " + Base64(server.user + ":" + server.password) + "\r\n";
  if (h.connection) return true;
  error_ = LastSystemError();
  Close();
  return false;
}

bool HttpClient::Get(const std::string& path, const std::optional<HttpRange>& range) {
  EndRequest();
  Handles& h = *handles_;
  h.request.Reset(HttpOpenRequestA(h.connection.get(), "GET", path.c_str(), nullptr, nullptr,
                                   nullptr, kRequestFlags, 0));
  if (!h.request) {
    error_ = LastSystemError();
    return false;
  }
  SetTimeouts(h.request.get(), idleTimeout_);
  const std::string headers = h.authorization + (range ? RangeHeaders(*range) : std::string());
  if (!HttpSendRequestA(h.request.get(), headers.empty() ? nullptr : headers.c_str(),
                        static_cast<DWORD>(headers.size()), nullptr, 0)) {
    error_ = LastSystemError();
    return false;
  }
  // A connection closed without any answer is taken by Wine for an empty response; Windows
  // fails the send. No status line, no answer.
  if (Status().value_or(0) == 0) {
    SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    error_ = LastSystemError();
    return false;
  }
  h.received = 0;
  h.announced.reset();
  char length[32] = {};
  DWORD size = sizeof length - 1;
  if (HttpQueryInfoA(h.request.get(), HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr)) {
    h.announced = std::strtoull(length, nullptr, 10);
  }
  return true;
}

std::optional<std::uint64_t> HttpClient::ContentLength() { return handles_->announced; }

std::optional<std::uint32_t> HttpClient::Status() {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoA(handles_->request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                      &status, &size, nullptr)) {
    return std::nullopt;
  }
  return status;
}

std::optional<std::string> HttpClient::Header(const std::string& name) {
  std::string value = name;
  value.resize(std::max<std::size_t>(name.size() + 1, 256));
  for (;;) {
    DWORD size = static_cast<DWORD>(value.size());
    if (HttpQueryInfoA(handles_->request.get(), HTTP_QUERY_CUSTOM, value.data(), &size, nullptr)) {
      value.resize(size);
      return value;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    // The buffer names the header again, and is as large as the value needs.
    value = name;
    value.resize(std::max<std::size_t>(name.size() + 1, size + 1));
  }
}

bool HttpClient::BytesAvailable(std::uint32_t& available) {
  DWORD count = 0;
  if (!InternetQueryDataAvailable(handles_->request.get(), &count, 0, 0)) {
    error_ = LastSystemError();
    return false;
  }
  available = count;
  return true;
}

bool HttpClient::Read(void* buffer, std::uint32_t size, std::uint32_t& read) {
  Handles& h = *handles_;
  DWORD count = 0;
  read = 0;
  if (!InternetReadFile(h.request.get(), buffer, size, &count)) {
    error_ = LastSystemError();
    return false;
  }
  read = count;
  h.received += count;
  if (count > 0 || !h.announced || h.received >= *h.announced) return true;
  error_ = HttpError{HttpFault::Broken, "the connection closed before the end of the body"};
  return false;
}

bool HttpClient::IsOpen() const { return static_cast<bool>(handles_->connection); }

bool HttpClient::AnswerChallengesOnly() {
  Handles& h = *handles_;
  if (!h.connection || h.authorization.empty()) return false;
  h.authorization.clear();
  return true;
}
void HttpClient::EndRequest() { handles_->request.Reset(); }
void HttpClient::Close() {
  EndRequest();
  handles_->connection.Reset();
  handles_->session.Reset();
}

}  // namespace platform
