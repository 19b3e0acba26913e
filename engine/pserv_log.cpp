#include "engine/pserv_log.h"

#include <algorithm>

#include "engine/file_digests.h"

namespace {
constexpr std::size_t kFileListDigestAt = 4;
constexpr std::size_t kPatcherDigestAt = 20;
constexpr std::size_t kServerListAt = 36;
}  // namespace

std::optional<Digest> FileListDigestOfPservLog(std::string_view bytes) {
  return DigestAt(bytes, kFileListDigestAt);
}

std::optional<Digest> PatcherDigestOfPservLog(std::string_view bytes) {
  return DigestAt(bytes, kPatcherDigestAt);
}

std::string PservLogBytes(const Digest& fileList, const Digest& patcher,
                          const std::vector<std::pair<std::string, std::string>>& servers) {
  std::string bytes(kFileListDigestAt, '\0');
  AppendDigest(bytes, fileList);
  AppendDigest(bytes, patcher);
  for (const auto& [name, address] : servers) {
    bytes += name;
    bytes += '=';
    bytes += address;
    bytes += "\r\n";
  }
  return bytes;
}

std::vector<std::string> ServerListOfPservLog(std::string_view bytes) {
  std::vector<std::string> servers;
  if (bytes.size() < kServerListAt) return servers;
  std::string_view text = bytes.substr(kServerListAt);
  constexpr std::string_view kLineBreak = "\r\n";
  constexpr std::string_view kBetweenEntries = "\r\n=";
  // The first name ends at '='; every later one at the next line break or '='.
  std::size_t nameEnd = text.find('=');
  while (nameEnd != std::string_view::npos) {
    std::size_t valueStart = nameEnd + 1;
    std::size_t valueEnd = std::min(text.find_first_of(kLineBreak, valueStart), text.size());
    servers.emplace_back(text.substr(valueStart, valueEnd - valueStart));
    std::size_t nameStart = text.find_first_not_of(kBetweenEntries, valueEnd);
    if (nameStart == std::string_view::npos) break;
    nameEnd = text.find_first_of(kBetweenEntries, nameStart);
  }
  return servers;
}
