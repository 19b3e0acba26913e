#include "platform/profile_rules.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

namespace platform::posix_profile {
namespace {

namespace fs = std::filesystem;

// GetPrivateProfileIntA reads the value through a buffer of this many characters.
constexpr std::size_t kIntBufferSize = 30;

bool IsBlank(char c) { return (c >= '\t' && c <= '\r') || c == ' ' || c == '\x1a'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Names and values end at a NUL byte, as C strings do for the real functions.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

enum class FileState { kRead, kMissing, kUnreadable };

// A missing file in an existing folder reads as empty; any other failure (no such folder, a
// folder in its place) makes the real function hand back the default untouched.
FileState ReadWhole(const std::string& path, std::string* text) {
  std::string slashed = path;
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  fs::path file(slashed);
  std::error_code error;
  fs::file_status status = fs::status(file, error);
  if (status.type() == fs::file_type::not_found) {
    fs::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    return fs::is_directory(folder, error) ? FileState::kMissing : FileState::kUnreadable;
  }
  if (status.type() == fs::file_type::directory) return FileState::kUnreadable;
  std::ifstream in(file, std::ios::binary);
  if (!in) return FileState::kUnreadable;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.bad() ? FileState::kUnreadable : FileState::kRead;
}

// The value of the first key of that name in the first section of that name; none when the
// key is missing or written without '='.
std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key) {
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) text.remove_prefix(kUtf8Mark.size());

  bool inSection = section.empty();
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\r\n");
    std::string_view line = Trim(text.substr(0, end));
    end = text.find_first_not_of("\r\n", end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    if (line.empty()) continue;

    std::size_t close = line.rfind(']');
    if (line.front() == '[' && close != std::string_view::npos) {
      if (inSection) return std::nullopt;
      inSection = SameName(UpToNul(Trim(line.substr(1, close - 1))), section);
      continue;
    }
    if (!inSection) continue;

    std::size_t equals = line.find('=');
    std::string_view name = line.substr(0, equals);
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
    if (!SameName(UpToNul(name), key)) continue;
    if (equals == std::string_view::npos) return std::nullopt;
    return std::string(UpToNul(Trim(line.substr(equals + 1))));
  }
  return std::nullopt;
}

// Copies into a buffer of `bufferSize` characters, dropping matching outer quotes. When the
// text fills the buffer exactly, the real function drops one more character than the quote;
// this keeps that so both agree.
std::string CopyEntry(std::string_view value, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  bool quoted = false;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    quoted = true;
    value.remove_prefix(1);
  }
  std::string copy(value.substr(0, bufferSize - 1));
  if (quoted && bufferSize >= value.size() && !copy.empty()) copy.pop_back();
  return copy;
}

// Trailing spaces go, but never the first character.
std::string_view TrimDefault(std::string_view fallback) {
  std::size_t last = fallback.find_last_not_of(' ');
  if (last == std::string_view::npos) return fallback.substr(0, 1);
  return fallback.substr(0, last + 1);
}

// As the real function's string-to-integer step: blanks, a sign, a "0x", "0o" or "0b" prefix,
// then digits of that base until the first other character, wrapping at 32 bits.
int ParseInteger(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::uint32_t base = 10;
  if (text.size() >= 2 && text[0] == '0') {
    if (text[1] == 'x') base = 16;
    if (text[1] == 'o') base = 8;
    if (text[1] == 'b') base = 2;
    if (base != 10) text.remove_prefix(2);
  }
  std::uint32_t total = 0;
  for (char c : text) {
    std::uint32_t digit = 36;
    if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'z') digit = static_cast<std::uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'Z') digit = static_cast<std::uint32_t>(c - 'A' + 10);
    if (digit >= base) break;
    total = total * base + digit;
  }
  return static_cast<int>(negative ? 0u - total : total);
}

}  // namespace

std::string LookUpString(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& fallback,
                         std::size_t bufferSize) {
  std::string_view defaultText = TrimDefault(UpToNul(fallback));
  std::string text;
  FileState state = ReadWhole(path, &text);
  if (state == FileState::kUnreadable) {
    return std::string(defaultText.substr(0, bufferSize == 0 ? 0 : bufferSize - 1));
  }
  std::optional<std::string> value = FindValue(text, Trim(UpToNul(section)), Trim(UpToNul(key)));
  return CopyEntry(value ? std::string_view(*value) : defaultText, bufferSize);
}

int LookUpInt(const std::string& path, const std::string& section, const std::string& key,
              int fallback) {
  std::string text = LookUpString(path, section, key, "", kIntBufferSize);
  return text.empty() ? fallback : ParseInteger(text);
}

}  // namespace platform::posix_profile
