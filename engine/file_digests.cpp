#include "engine/file_digests.h"

#include <algorithm>
#include <cstring>

#include "platform/files.h"

FileDigests* FileDigestMap::Find(const std::string& key) {
  auto found = entries_.find(key);
  return found == entries_.end() ? nullptr : &found->second;
}

std::string PackageNameOf(std::string_view key) {
  std::string name(key);
  std::replace_if(
      name.begin(), name.end(), [](char c) { return c == '\\' || c == '.'; }, '_');
  return name + ".ppk";
}

std::optional<Digest> DigestAt(std::string_view bytes, std::size_t offset) {
  if (bytes.size() < offset || bytes.size() - offset < sizeof(Digest)) return std::nullopt;
  Digest digest;
  std::memcpy(digest.data(), bytes.data() + offset, digest.size());
  return digest;
}

void AppendDigest(std::string& bytes, const Digest& digest) {
  bytes.append(reinterpret_cast<const char*>(digest.data()), digest.size());
}

bool IsZeroDigest(const Digest& digest) {
  return std::all_of(digest.begin(), digest.end(), [](std::uint8_t b) { return b == 0; });
}

bool FileDiffersFromDigest(const std::string& path, const Digest& expected) {
  platform::File file;
  if (!file.Open(path, platform::FileMode::Read, platform::FileShare::None)) return true;
  std::optional<Digest> digest = CMD5Checksum::DigestOfFile(file);
  return !digest || *digest != expected;
}

bool NeedsPackage(const std::string& key, const FileDigests& digests) {
  return digests.fetched != digests.listed || !platform::PathExists("temp\\" + PackageNameOf(key));
}
