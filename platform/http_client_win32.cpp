#include <windows.h>
// after windows.h, which it needs
#include <wininet.h>

#include <cstdlib>
#include <memory>

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

}  // namespace

void InternetHandleTraits::Close(void* handle) { InternetCloseHandle(handle); }

struct HttpClient::Handles {
  // Destroyed in reverse order: the request, then the connection, then the session.
  OwnedInternetHandle session;
  OwnedInternetHandle connection;
  OwnedInternetHandle request;
  // WinINet reports a connection closed inside a body as its end; only the count tells.
  std::optional<std::uint64_t> announced;
  std::uint64_t received = 0;
};

HttpClient::HttpClient() : handles_(std::make_unique<Handles>()) {}

HttpClient::~HttpClient() { Close(); }

bool HttpClient::Open(const HttpServer& server) {
  Close();
  Handles& h = *handles_;
  h.session.Reset(
      InternetOpenA(server.agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!h.session) return false;
  SetTimeouts(h.session.get(), idleTimeout_);
  h.connection.Reset(InternetConnectA(h.session.get(), server.host.c_str(), server.port,
                                      server.user.c_str(), server.password.c_str(),
                                      INTERNET_SERVICE_HTTP, 0, 0));
  if (h.connection) return true;
  Close();
  return false;
}

bool HttpClient::Get(const std::string& path) {
  EndRequest();
  Handles& h = *handles_;
  h.request.Reset(
      HttpOpenRequestA(h.connection.get(), "GET", path.c_str(), nullptr, nullptr, nullptr, 0, 0));
  if (!h.request) return false;
  SetTimeouts(h.request.get(), idleTimeout_);
  if (!HttpSendRequestA(h.request.get(), nullptr, 0, nullptr, 0)) return false;
  // A connection closed without any answer is taken by Wine for an empty response; Windows
  // fails the send. No status line, no answer.
  if (Status().value_or(0) == 0) {
    SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
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

bool HttpClient::BytesAvailable(std::uint32_t& available) {
  DWORD count = 0;
  if (!InternetQueryDataAvailable(handles_->request.get(), &count, 0, 0)) return false;
  available = count;
  return true;
}

bool HttpClient::Read(void* buffer, std::uint32_t size, std::uint32_t& read) {
  Handles& h = *handles_;
  DWORD count = 0;
  read = 0;
  if (!InternetReadFile(h.request.get(), buffer, size, &count)) return false;
  read = count;
  h.received += count;
  return count > 0 || !h.announced || h.received >= *h.announced;
}

bool HttpClient::IsOpen() const { return static_cast<bool>(handles_->connection); }
void HttpClient::EndRequest() { handles_->request.Reset(); }
void HttpClient::Close() {
  EndRequest();
  handles_->connection.Reset();
  handles_->session.Reset();
}

}  // namespace platform
