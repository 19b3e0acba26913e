#include "engine/file_stamps.h"

#include <cstdint>

namespace {

constexpr std::string_view kHeader{"VSTM\x01\x00\x00\x00", 8};
constexpr std::size_t kSizeAt = 16;
constexpr std::size_t kWriteTimeAt = 24;
constexpr std::size_t kKeyLengthAt = 32;
constexpr std::size_t kKeyAt = 36;

void AppendNumber(std::string& bytes, std::uint64_t value, int size) {
  for (int at = 0; at < size; ++at) bytes += static_cast<char>((value >> (8 * at)) & 0xFF);
}

std::uint64_t NumberAt(std::string_view bytes, std::size_t offset, int size) {
  std::uint64_t value = 0;
  for (int at = size - 1; at >= 0; --at) {
    value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + static_cast<std::size_t>(at)]);
  }
  return value;
}

bool HasStamp(const FileDigests& digests) {
  return digests.stamp && !IsZeroDigest(digests.installed);
}

}  // namespace

std::string StampsBytes(const FileDigestMap& files) {
  std::size_t size = kHeader.size();
  for (const auto& [key, digests] : files) {
    if (HasStamp(digests)) size += kKeyAt + key.size();
  }
  std::string bytes;
  bytes.reserve(size);
  bytes = kHeader;
  for (const auto& [key, digests] : files) {
    if (!HasStamp(digests)) continue;
    AppendDigest(bytes, digests.installed);
    AppendNumber(bytes, static_cast<std::uint64_t>(digests.stamp->size), 8);
    AppendNumber(bytes, static_cast<std::uint64_t>(digests.stamp->writeTime), 8);
    AppendNumber(bytes, key.size(), 4);
    bytes += key;
  }
  return bytes;
}

void ReadStamps(std::string_view bytes, FileDigestMap& files) {
  if (!bytes.starts_with(kHeader)) return;
  for (std::size_t record = kHeader.size(); bytes.size() - record >= kKeyAt;) {
    const std::uint64_t keyLength = NumberAt(bytes, record + kKeyLengthAt, 4);
    if (bytes.size() - record - kKeyAt < keyLength) return;  // cut short
    const std::string key(bytes.substr(record + kKeyAt, keyLength));
    FileDigests* entry = files.Find(key);
    if (entry != nullptr && entry->installed == *DigestAt(bytes, record) &&
        !IsZeroDigest(entry->installed)) {
      entry->stamp =
          platform::FileStamp{static_cast<std::int64_t>(NumberAt(bytes, record + kSizeAt, 8)),
                              static_cast<std::int64_t>(NumberAt(bytes, record + kWriteTimeAt, 8))};
    }
    record += kKeyAt + keyLength;
  }
}
