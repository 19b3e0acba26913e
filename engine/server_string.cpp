#include "engine/server_string.h"

#include <algorithm>

ServerAddress SplitServerString(std::string_view server) {
  std::size_t colon = server.find(':');
  std::size_t slash = server.find('/');
  ServerAddress address;
  address.host = std::string(server.substr(0, std::min(colon, slash)));
  std::string_view port;
  std::string_view folder;
  if (colon != std::string_view::npos) {
    port = colon < slash ? server.substr(colon + 1, slash - colon - 1) : server.substr(colon + 1);
  }
  if (slash != std::string_view::npos && (colon == std::string_view::npos || colon < slash)) {
    folder = server.substr(slash + 1);
  }
  if (!port.empty()) address.port = PortNumber(port);
  if (!folder.empty()) address.folder = std::string(folder);
  return address;
}

std::string HostOfListEntry(std::string_view entry) {
  entry = entry.substr(0, entry.find(':'));
  return std::string(entry.substr(0, entry.find('/')));
}

std::uint16_t PortNumber(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  std::uint32_t value = 0;  // wraps instead of overflowing; only 16 bits are kept
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10 + static_cast<std::uint32_t>(text[at] - '0');
  }
  return static_cast<std::uint16_t>(negative ? 0u - value : value);
}

std::optional<std::string> FolderOfRemoteVer(std::string_view bytes) {
  std::size_t lineEnd = bytes.find_first_of("\r\n");
  if (lineEnd == std::string_view::npos) return std::nullopt;
  std::size_t folderStart = std::min(lineEnd + 2, bytes.size());
  return std::string(bytes.substr(folderStart));
}

bool IsPlainHost(std::string_view host) {
  if (host.empty()) return false;
  for (unsigned char c : host) {
    bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '.' || c == '-' || c == '_' || c >= 0x80;
    if (!allowed) return false;
  }
  return true;
}
