#include "engine/http_connection.h"

#include <algorithm>
#include <cstdint>

#include "platform/clock.h"

namespace {

bool IsPlainHost(const std::string& host) {
  if (host.empty()) return false;
  for (unsigned char c : host) {
    bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '.' || c == '-' || c == '_' || c >= 0x80;
    if (!allowed) return false;
  }
  return true;
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

std::int32_t HttpConnection::OpenFile(const std::string& name) {
  const std::string host = host_;  // the retries reconnect to this one
  std::string path = folder_;
  path += '/';
  path += name;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (client_.IsOpen() && client_.Get(path)) {
      std::optional<std::uint32_t> status = client_.Status();
      if (status && *status >= 400) return -1;
      std::uint32_t available = 0;
      if (!client_.BytesAvailable(available)) return -1;
      return static_cast<std::int32_t>(std::min<std::uint32_t>(available, INT32_MAX));
    }
    Close();  // keeps the folder and the port for the reconnect
    pause_(std::chrono::milliseconds(kRetryPauseMs));
    Connect(host, port(), folder_);
  }
  return -1;
}

void HttpConnection::Close() {
  client_.Close();
  host_.clear();
}
