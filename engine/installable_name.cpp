#include "engine/installable_name.h"

#include <algorithm>
#include <array>

#include "platform/files.h"

namespace {

constexpr std::size_t kLongestComponent = 255;
// A key's package is one name, the key and ".ppk", and ".part" while it arrives; the longest
// paths made for it are that one ("\temp\" before it) and the file's while it is unpacked
// (the key and ".unpacking"): at most the key and 15 more.
constexpr std::size_t kPackageEnding = 9;
constexpr std::size_t kLongestExtra = 15;

constexpr std::array<std::string_view, 22> kDevices = {
    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
    "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};

bool IsDevice(std::string_view component) {
  std::string base(component.substr(0, component.find('.')));
  for (char& c : base) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return std::find(kDevices.begin(), kDevices.end(), base) != kDevices.end();
}

std::optional<std::string> WhyNotComponent(std::string_view component) {
  if (component.empty()) return "an empty folder name";
  if (component == "." || component == "..") return "a \"" + std::string(component) + "\"";
  for (unsigned char c : component) {
    if (c < 0x20 || c == 0x7F) return "a control character";
    if (std::string_view("<>:\"/|?*").find(static_cast<char>(c)) != std::string_view::npos) {
      return std::string("a '") + static_cast<char>(c) + "'";
    }
  }
  if (component.back() == '.' || component.back() == ' ') return "a name ending in '.' or ' '";
  if (IsDevice(component)) return "a device name";
  if (component.size() > kLongestComponent) return "a name too long for the file system";
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WhyNotInstallable(std::string_view key, std::size_t folderLength) {
  if (!key.starts_with('\\')) return "no leading '\\'";
  for (std::size_t start = 1;;) {
    const std::size_t end = std::min(key.find('\\', start), key.size());
    if (std::optional<std::string> why = WhyNotComponent(key.substr(start, end - start))) {
      return why;
    }
    if (end == key.size()) break;
    start = end + 1;
  }
  if (key.size() + kPackageEnding > kLongestComponent ||
      folderLength + key.size() + kLongestExtra > platform::LongestPath()) {
    return "a path too long for the file system";
  }
  return std::nullopt;
}
