#include "engine/control_files.h"

#include <algorithm>
#include <cstdint>

#include "engine/file_digests.h"
#include "engine/server_string.h"
#include "engine/state_file.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace {

// Far above what a page of settings holds. The others are as large as the run reads them
// from the game folder.
constexpr std::uint64_t kLargestPatchSys = 1 << 20;

constexpr std::size_t kServerListAt = 36;
constexpr std::size_t kTextSize = 1024;
constexpr std::size_t kPageLookAhead = 1024;

std::string_view WithoutByteOrderMark(std::string_view bytes) {
  return bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
}

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Calls `line` for each line, CR and LF both ending one, until it answers false.
template <typename Visit>
bool EachLine(std::string_view text, Visit line) {
  while (!text.empty()) {
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    if (!line(text.substr(0, end))) return false;
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return true;
}

// A profile's keys count only below a section, so a configuration starts with one.
bool StartsWithSection(std::string_view text) {
  bool section = false;
  EachLine(WithoutByteOrderMark(text), [&](std::string_view line) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() == ';') return true;
    section = line.front() == '[' && line.find(']') != std::string_view::npos;
    return false;
  });
  return section;
}

std::optional<std::string> FirstBytesOf(const std::string& path, std::size_t count) {
  platform::File file;
  if (!file.Open(path, platform::FileMode::Read)) return std::nullopt;
  std::string bytes(count, '\0');
  const std::int64_t read = file.Read(bytes.data(), bytes.size());
  if (read < 0) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(read));
  return bytes;
}

// Reads a file no larger than its limit (the download saw to that) and judges its bytes.
template <typename Judge>
std::optional<std::string> JudgeWhole(const std::string& path, std::uint64_t limit, Judge judge) {
  const platform::WholeFile file = platform::ReadRegularFile(path, limit);
  if (!file.bytes) return "it cannot be read back (" + file.why + ")";
  return judge(*file.bytes);
}

}  // namespace

bool LooksLikeWebPage(std::string_view bytes) {
  bytes = WithoutByteOrderMark(bytes);
  const std::size_t first = bytes.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos || bytes[first] != '<') return false;
  std::string head(bytes.substr(first, kPageLookAhead));
  std::transform(head.begin(), head.end(), head.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : char(c); });
  for (const char* mark : {"<!doctype html", "<html", "<head", "<body"}) {
    if (head.find(mark) != std::string::npos) return true;
  }
  return false;
}

std::optional<std::string> WhyNotPatchSys(const std::string& path, bool fixedServer) {
  const platform::WholeFile file = platform::ReadRegularFile(path, kLargestPatchSys);
  if (!file.bytes) return "it cannot be read back (" + file.why + ")";
  const std::optional<std::string>& bytes = file.bytes;
  if (LooksLikeWebPage(*bytes)) return std::string(kWebPageAnswer);
  if (bytes->find('\0') != std::string::npos) return "it is not text";
  if (!StartsWithSection(*bytes)) return "it is not a configuration: it starts with no [section]";
  if (fixedServer) return std::nullopt;  // common\Release.ini names the server
  const platform::ProfileReader config(platform::CurrentDirectory() + "\\" + path);
  bool anyZone = false;
  for (int number = 0;; ++number) {
    const std::string zone = config.String("Combo", "Zone" + std::to_string(number), "", kTextSize);
    if (zone.empty() && number > 0) break;
    if (zone.empty()) continue;
    anyZone = true;
    if (!config.String(zone, "Server1", "", kTextSize).empty()) return std::nullopt;
  }
  return anyZone ? "none of its zones lists a server" : "it names no zone ([Combo] Zone0 or Zone1)";
}

std::optional<std::string> WhyNotPservLog(std::string_view bytes) {
  if (LooksLikeWebPage(bytes)) return std::string(kWebPageAnswer);
  if (bytes.size() < kServerListAt) {
    return "it is " + std::to_string(bytes.size()) + " bytes, shorter than its header";
  }
  const std::string_view list = bytes.substr(kServerListAt);
  if (list.find('\0') != std::string_view::npos) return "its server list is not text";
  std::optional<std::string> why;
  EachLine(list, [&](std::string_view line) {
    if (line.empty()) return true;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos ||
        !IsPlainHost(HostOfListEntry(line.substr(equals + 1)))) {
      why = "its server list holds a line that is no name=server";
      return false;
    }
    return true;
  });
  return why;
}

std::optional<std::string> WhyNotVersionFile(std::string_view bytes) {
  if (LooksLikeWebPage(bytes)) return std::string(kWebPageAnswer);
  if (bytes.find('\0') != std::string_view::npos) return "it is not text";
  std::string_view text = bytes.substr(std::min(bytes.find_first_not_of(" \t\r\n"), bytes.size()));
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  if (text.empty() || text.front() < '0' || text.front() > '9') {
    return "it does not start with a version number";
  }
  return std::nullopt;
}

FileCheck PatchSysCheck(bool fixedServer) {
  return FileCheck{kLargestPatchSys, [fixedServer](const std::string& path) {
                     return WhyNotPatchSys(path, fixedServer);
                   }};
}

FileCheck PservLogCheck() {
  return FileCheck{kLargestPservLog, [](const std::string& path) {
                     return JudgeWhole(path, kLargestPservLog, WhyNotPservLog);
                   }};
}

FileCheck FileListCheck(const Digest& announced) {
  return FileCheck{kLargestFileList, [announced](const std::string& path) {
                     if (!FileDiffersFromDigest(path, announced))
                       return std::optional<std::string>();
                     const std::optional<std::string> head = FirstBytesOf(path, kPageLookAhead);
                     if (head && LooksLikeWebPage(*head))
                       return std::optional<std::string>(kWebPageAnswer);
                     return std::optional<std::string>(
                         "its MD5 is not the one pserv.log announces (a new release may be "
                         "on its way to the server: try again in a moment)");
                   }};
}

FileCheck VersionFileCheck() {
  return FileCheck{kLargestNoteFile, [](const std::string& path) {
                     return JudgeWhole(path, kLargestNoteFile, WhyNotVersionFile);
                   }};
}

bool IsWebPageType(const std::optional<std::string>& contentType) {
  if (!contentType) return false;
  std::string type = contentType->substr(0, contentType->find(';'));
  type.erase(0, std::min(type.find_first_not_of(" \t"), type.size()));
  type.erase(std::min(type.find_last_not_of(" \t") + 1, type.size()));
  for (char& c : type) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  return type == "text/html" || type == "application/xhtml+xml";
}
