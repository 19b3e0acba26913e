#include "engine/file_list.h"

#include <optional>
#include <unordered_map>

#include "platform/file_names.h"

namespace {

// Where the next line starts: two bytes after the first CR or LF, as a CR LF is assumed.
std::optional<std::size_t> AfterLine(std::string_view bytes, std::size_t from) {
  std::size_t end = bytes.find_first_of("\r\n", from);
  if (end == std::string_view::npos) return std::nullopt;
  return end + 2;
}

}  // namespace

void ReadFileList(std::string_view bytes, FileDigestMap& files) {
  std::optional<std::size_t> at = AfterLine(bytes, 0);
  if (at) at = AfterLine(bytes, *at);
  if (!at) return;
  auto next = files.begin();
  for (std::size_t record = *at; record < bytes.size();) {
    std::optional<Digest> digest = DigestAt(bytes, record);
    if (!digest) return;
    std::size_t keyStart = record + sizeof(Digest);
    std::size_t keyEnd = bytes.find_first_of("\r\n", keyStart);
    if (keyEnd == std::string_view::npos || keyEnd + 2 > bytes.size()) return;  // cut short
    std::string_view key = bytes.substr(keyStart, keyEnd - keyStart);
    // A key that names no file (empty, or holding a NUL) is passed over.
    if (!key.empty() && key.find('\0') == std::string_view::npos) {
      files.FindOrAddInOrder(std::string(key), next).listed = *digest;
    }
    record = keyEnd + 2;
  }
}

std::optional<std::pair<std::string, std::string>> CollidingKeys(const FileDigestMap& files) {
  // A package name stands for its key, and equal keys give equal package names.
  std::unordered_map<std::string, const std::string*> keyOfPackage;
  keyOfPackage.reserve(files.size());
  for (const auto& [key, digests] : files) {
    if (IsZeroDigest(digests.listed)) continue;
    auto [seen, added] =
        keyOfPackage.try_emplace(platform::ComparableName(PackageNameOf(key)), &key);
    if (!added) return std::pair(*seen->second, key);
  }
  return std::nullopt;
}

std::string FileListBytes(const std::vector<ListedFile>& files) {
  std::string bytes = "filelist\r\n" + std::to_string(files.size()) + "\r\n";
  for (const ListedFile& file : files) {
    AppendDigest(bytes, file.digest);
    bytes += file.key;
    bytes += "\r\n";
  }
  return bytes;
}
