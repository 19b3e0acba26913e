#include "engine/package.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/files.h"

namespace {

std::uint32_t ReadLittleEndian(const char* bytes) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
  return value;
}

void AppendLittleEndian(std::string& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i) & 0xff);
}

bool IsReservedDeviceName(std::string_view component) {
  std::string stem(component.substr(0, component.find('.')));
  std::transform(stem.begin(), stem.end(), stem.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
         std::isdigit(static_cast<unsigned char>(stem[3]));
}

bool IsSafeComponent(std::string_view component) {
  if (component.empty() || component == "..") return false;
  if (component.back() == '.' || component.back() == ' ') return false;
  for (unsigned char c : component) {
    if (c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) return false;
  }
  return !IsReservedDeviceName(component);
}

}  // namespace

std::string PackageTrailer(std::string_view target) {
  std::string trailer(1, '\0');
  trailer += target;
  trailer += '\0';
  AppendLittleEndian(trailer, static_cast<std::uint32_t>(trailer.size() + kTrailerEndSize));
  AppendLittleEndian(trailer, kPackageMagic);
  return trailer;
}

std::optional<std::uint32_t> TrailerLengthOf(std::string_view lastEight,
                                             std::uint64_t packageLength) {
  if (lastEight.size() != kTrailerEndSize) return std::nullopt;
  if (ReadLittleEndian(lastEight.data() + 4) != kPackageMagic) return std::nullopt;
  std::uint32_t length = ReadLittleEndian(lastEight.data());
  if (length < kTrailerMinimum || length > packageLength) return std::nullopt;
  return length;
}

std::optional<std::string> TargetOfTrailer(std::string_view trailer) {
  if (trailer.size() < kTrailerMinimum) return std::nullopt;
  std::string_view text = trailer.substr(1);
  std::string target(text.substr(0, text.find('\0')));
  std::replace(target.begin(), target.end(), '/', '\\');
  if (target.empty() || target.front() == '\\') return std::nullopt;
  for (std::size_t start = 0;;) {
    std::size_t end = target.find('\\', start);
    if (!IsSafeComponent(std::string_view(target).substr(start, end - start))) return std::nullopt;
    if (end == std::string::npos) return target;
    start = end + 1;
  }
}

std::optional<std::string> TargetOfPackage(std::string_view package) {
  if (package.size() < kTrailerEndSize) return std::nullopt;
  std::optional<std::uint32_t> length =
      TrailerLengthOf(package.substr(package.size() - kTrailerEndSize), package.size());
  if (!length) return std::nullopt;
  return TargetOfTrailer(package.substr(package.size() - *length));
}

std::optional<std::string> TargetOfPackage(platform::File& file) {
  std::optional<std::int64_t> length = file.Length();
  if (!length || *length < static_cast<std::int64_t>(kTrailerEndSize)) return std::nullopt;
  std::string end(kTrailerEndSize, '\0');
  if (!file.Seek(*length - static_cast<std::int64_t>(kTrailerEndSize)) ||
      file.Read(end.data(), end.size()) != static_cast<std::int64_t>(end.size())) {
    return std::nullopt;
  }
  std::optional<std::uint32_t> trailerLength =
      TrailerLengthOf(end, static_cast<std::uint64_t>(*length));
  if (!trailerLength) return std::nullopt;
  std::string trailer(*trailerLength, '\0');
  if (!file.Seek(*length - *trailerLength) ||
      file.Read(trailer.data(), trailer.size()) != static_cast<std::int64_t>(trailer.size())) {
    return std::nullopt;
  }
  return TargetOfTrailer(trailer);
}
