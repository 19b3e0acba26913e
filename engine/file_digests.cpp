#include "engine/file_digests.h"

#include <algorithm>
#include <cstring>

#include "engine/http_connection.h"
#include "engine/installable_name.h"
#include "engine/patch_job.h"
#include "platform/files.h"
#include "platform/prompt.h"

namespace {

constexpr std::size_t kPservListDigestAt = 4;
constexpr std::size_t kPservPatcherDigestAt = 20;

// Where the next line starts: two bytes after the first CR or LF, as a CR LF is assumed.
std::optional<std::size_t> AfterLine(std::string_view bytes, std::size_t from) {
  std::size_t end = bytes.find_first_of("\r\n", from);
  if (end == std::string_view::npos) return std::nullopt;
  return end + 2;
}

bool ShowReadError(const char* name) {
  platform::ShowMessage(std::string("Error reading ") + name, "Error", platform::kBoxOk);
  return false;
}

// A listed entry that no file below the game folder can be made for is taken off the list,
// so it is never fetched.
void RefuseUninstallableNames(PatchJob& job) {
  const std::size_t folderLength = platform::CurrentDirectory().size();
  for (auto& [key, digests] : job.files) {
    if (IsZeroDigest(digests.listed)) continue;
    std::optional<std::string> why = WhyNotInstallable(key, folderLength);
    if (!why) continue;
    digests.listed = Digest{};
    if (job.refusedName.empty()) job.refusedName = key + " (" + *why + ")";
  }
}

}  // namespace

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

std::optional<Digest> FileListDigestOfPservLog(std::string_view bytes) {
  return DigestAt(bytes, kPservListDigestAt);
}

std::optional<Digest> PatcherDigestOfPservLog(std::string_view bytes) {
  return DigestAt(bytes, kPservPatcherDigestAt);
}

std::string PservLogBytes(const Digest& fileList, const Digest& patcher,
                          const std::vector<std::pair<std::string, std::string>>& servers) {
  std::string bytes(kPservListDigestAt, '\0');
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

std::string FileListBytes(const std::vector<ListedFile>& files) {
  std::string bytes = "filelist\r\n" + std::to_string(files.size()) + "\r\n";
  for (const ListedFile& file : files) {
    AppendDigest(bytes, file.digest);
    bytes += file.key;
    bytes += "\r\n";
  }
  return bytes;
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

bool LoadFileList(PatchJob& job) {
  std::optional<std::string> pservLog = platform::ReadWholeFile("pserv.log");
  std::optional<Digest> expected = pservLog ? FileListDigestOfPservLog(*pservLog) : std::nullopt;
  if (!expected) return ShowReadError("pserv.log");
  if (FileDiffersFromDigest("filelist.log", *expected) &&
      !DownloadFile(job, "filelist.log", Arrival::InPlace)) {
    return false;
  }
  std::optional<std::string> fileList = platform::ReadWholeFile("filelist.log");
  if (!fileList) return ShowReadError("filelist.log");
  ReadFileList(*fileList, job.files);
  RefuseUninstallableNames(job);
  return true;
}
