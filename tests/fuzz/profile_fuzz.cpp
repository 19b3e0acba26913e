// patch.sys as a hostile server might send it, through the POSIX profile rules. The first
// bytes choose the section and key looked up and the buffer size.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/profile_rules.h"

namespace {
const std::string& ScratchFile() {
  static const std::string path = [] {
    char name[] = "/tmp/veldra-profile-fuzz-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    return std::string(name);
  }();
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t sectionLength = data[0] % 8;
  std::size_t keyLength = data[1] % 8;
  std::size_t bufferSize = data[2];
  std::string_view rest = bytes.substr(3);
  std::string section(rest.substr(0, sectionLength));
  std::string key(rest.substr(std::min(rest.size(), sectionLength), keyLength));
  std::FILE* file = std::fopen(ScratchFile().c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(rest.data(), 1, rest.size(), file);
  std::fclose(file);
  std::string value =
      platform::posix_profile::LookUpString(ScratchFile(), section, key, "fallback", bufferSize);
  if (bufferSize > 0 && value.size() >= bufferSize) __builtin_trap();
  platform::posix_profile::LookUpInt(ScratchFile(), section, key, 7);
  return 0;
}
