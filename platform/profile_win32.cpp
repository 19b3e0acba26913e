#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/profile.h"

namespace platform {

std::string ProfileReader::String(const std::string& section, const std::string& key,
                                  const std::string& fallback, std::size_t bufferSize) const {
  if (bufferSize == 0) return {};
  DWORD size = static_cast<DWORD>(std::min<std::size_t>(bufferSize, MAXDWORD));
  std::vector<char> buffer(size);
  DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(),
                                          buffer.data(), size, path_.c_str());
  return std::string(buffer.data(), std::min<DWORD>(length, size - 1));
}

int ProfileReader::Int(const std::string& section, const std::string& key, int fallback) const {
  return static_cast<int>(
      GetPrivateProfileIntA(section.c_str(), key.c_str(), fallback, path_.c_str()));
}

}  // namespace platform
