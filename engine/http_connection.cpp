#include "engine/http_connection.h"

#include <algorithm>
#include <cstdint>

#include "platform/clock.h"

HttpConnection::~HttpConnection() { Close(); }

bool HttpConnection::Connect(const std::string& host, std::uint16_t port,
                             const std::string& folder) {
  if (transport_.HasConnection() || transport_.HasSession()) return false;
  if (!transport_.OpenSession(kAgent)) return false;
  if (!transport_.OpenConnection(host, port, kUser, kPassword)) {
    Close();
    return false;
  }
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
    if (transport_.HasConnection() && transport_.OpenRequest(path) && transport_.SendRequest()) {
      std::optional<std::uint32_t> status = transport_.StatusCode();
      if (status && *status >= 400) return -1;
      std::uint32_t available = 0;
      if (!transport_.QueryDataAvailable(available)) return -1;
      return static_cast<std::int32_t>(std::min<std::uint32_t>(available, INT32_MAX));
    }
    Close();  // keeps the folder and the port for the reconnect
    platform::SleepMilliseconds(kRetryPauseMs);
    Connect(host, port(), folder_);
  }
  return -1;
}

void HttpConnection::Close() {
  transport_.CloseRequest();
  transport_.CloseConnection();
  transport_.CloseSession();
  host_.clear();
}
