#include "tools/publish/release_names.h"

#include <algorithm>

#include "engine/file_digests.h"
#include "engine/package.h"
#include "tools/publish/publish_error.h"

namespace {

constexpr std::size_t kLongestFileName = 255;  // NAME_MAX of the usual server file systems

std::string InLowerCase(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return name;
}

}  // namespace

std::optional<std::string> ComponentProblem(std::string_view name) {
  if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    return "a CR, LF or NUL in a name would cut its record in filelist.log";
  }
  if (name.find('\\') != std::string_view::npos) {
    return "a '\\' in a name would be taken for a folder separator";
  }
  return std::nullopt;
}

std::optional<std::string> KeyProblem(std::string_view key) {
  std::string_view target = key.substr(1);
  if (TargetOfTrailer(PackageTrailer(target)) != target) {
    return "the patcher refuses to place such a path (a device name such as CON or NUL, a "
           "name ending in '.' or ' ', a control character or one of <>:\"|?*)";
  }
  std::size_t length = PackageNameOf(key).size();
  if (length > kLongestFileName) {
    return "its package name would be " + std::to_string(length) +
           " bytes long, more than a file name can hold";
  }
  return std::nullopt;
}

std::string ShownName(std::string_view key) {
  std::string shown(key.substr(1));
  std::replace(shown.begin(), shown.end(), '\\', '/');
  return shown;
}

std::optional<std::string> PackageNames::Take(const std::string& key) {
  std::string package = PackageNameOf(key);
  auto [owner, taken] = owners_.try_emplace(InLowerCase(package), key);
  if (taken) return std::nullopt;
  return "its package " + package + " would be the same file as the one of " +
         Quoted(ShownName(owner->second)) +
         " ('\\' and '.' both become '_', and Windows ignores case)";
}
