#include "tools/publish/chunk_uses.h"

#include <charconv>

#include "engine/hex.h"

namespace {

constexpr std::string_view kHeader = "veldra-chunk-uses 1\n";

std::optional<PublishUse> UseOf(std::string_view line) {
  PublishUse use;
  const std::size_t blank = line.find(' ');
  const std::string_view time = line.substr(0, blank);
  auto [end, error] = std::from_chars(time.data(), time.data() + time.size(), use.time);
  if (time.empty() || error != std::errc() || end != time.data() + time.size()) {
    return std::nullopt;
  }
  for (std::size_t at = blank; at != std::string_view::npos;) {
    const std::size_t next = line.find(' ', at + 1);
    const std::string_view md5 = line.substr(at + 1, next - at - 1);
    if (!BytesOfHex<16>(md5)) return std::nullopt;
    use.indexes.emplace_back(md5);
    at = next;
  }
  return use;
}

}  // namespace

std::string ChunkUsesBytes(const std::vector<PublishUse>& uses) {
  std::string bytes(kHeader);
  for (const PublishUse& use : uses) {
    bytes += std::to_string(use.time);
    for (const std::string& md5 : use.indexes) bytes += " " + md5;
    bytes += '\n';
  }
  return bytes;
}

std::optional<std::vector<PublishUse>> ParseChunkUses(std::string_view bytes, std::string& why) {
  if (!bytes.starts_with(kHeader)) {
    why = "it does not start with \"veldra-chunk-uses 1\"";
    return std::nullopt;
  }
  std::vector<PublishUse> uses;
  for (std::size_t at = kHeader.size(); at < bytes.size();) {
    const std::size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) {
      why = "its last line is cut";
      return std::nullopt;
    }
    std::optional<PublishUse> use = UseOf(bytes.substr(at, end - at));
    if (!use) {
      why = "line " + std::to_string(uses.size() + 2) + " is no publish";
      return std::nullopt;
    }
    uses.push_back(std::move(*use));
    at = end + 1;
  }
  return uses;
}
