#include <windows.h>
// after windows.h, which it needs
#include <wininet.h>

#include <cstdlib>
#include <memory>

#include "engine/http_transport.h"

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

struct InternetCloser {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

}  // namespace

struct HttpTransport::Handles {
  // Destroyed in reverse order: the request, then the connection, then the session.
  InternetHandle session;
  InternetHandle connection;
  InternetHandle request;
  // WinINet reports a connection closed inside a body as its end; only the count tells.
  std::optional<std::uint64_t> announced;
  std::uint64_t received = 0;
};

HttpTransport::HttpTransport() : handles_(std::make_unique<Handles>()) {}

HttpTransport::~HttpTransport() {
  CloseRequest();
  CloseConnection();
  CloseSession();
}

bool HttpTransport::OpenSession(const std::string& agent) {
  CloseSession();
  handles_->session.reset(
      InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!handles_->session) return false;
  SetTimeouts(handles_->session.get(), idleTimeout_);
  return true;
}

bool HttpTransport::OpenConnection(const std::string& host, std::uint16_t port,
                                   const std::string& user, const std::string& password) {
  CloseConnection();
  handles_->connection.reset(InternetConnectA(handles_->session.get(), host.c_str(), port,
                                              user.c_str(), password.c_str(), INTERNET_SERVICE_HTTP,
                                              0, 0));
  return static_cast<bool>(handles_->connection);
}

bool HttpTransport::OpenRequest(const std::string& path) {
  CloseRequest();
  handles_->request.reset(HttpOpenRequestA(handles_->connection.get(), "GET", path.c_str(), nullptr,
                                           nullptr, nullptr, 0, 0));
  if (!handles_->request) return false;
  SetTimeouts(handles_->request.get(), idleTimeout_);
  return true;
}

bool HttpTransport::SendRequest() {
  Handles& h = *handles_;
  if (!HttpSendRequestA(h.request.get(), nullptr, 0, nullptr, 0)) return false;
  // A connection closed without any answer is taken by Wine for an empty response; Windows
  // fails the send. No status line, no answer.
  if (StatusCode().value_or(0) == 0) {
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

std::optional<std::uint64_t> HttpTransport::ContentLength() { return handles_->announced; }

std::optional<std::uint32_t> HttpTransport::StatusCode() {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoA(handles_->request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                      &status, &size, nullptr)) {
    return std::nullopt;
  }
  return status;
}

bool HttpTransport::QueryDataAvailable(std::uint32_t& available) {
  DWORD count = 0;
  if (!InternetQueryDataAvailable(handles_->request.get(), &count, 0, 0)) return false;
  available = count;
  return true;
}

bool HttpTransport::ReadFile(void* buffer, std::uint32_t size, std::uint32_t& read) {
  Handles& h = *handles_;
  DWORD count = 0;
  read = 0;
  if (!InternetReadFile(h.request.get(), buffer, size, &count)) return false;
  read = count;
  h.received += count;
  return count > 0 || !h.announced || h.received >= *h.announced;
}

bool HttpTransport::HasSession() const { return static_cast<bool>(handles_->session); }
bool HttpTransport::HasConnection() const { return static_cast<bool>(handles_->connection); }
void HttpTransport::CloseRequest() { handles_->request.reset(); }
void HttpTransport::CloseConnection() {
  CloseRequest();
  handles_->connection.reset();
}
void HttpTransport::CloseSession() {
  CloseConnection();
  handles_->session.reset();
}
