#include "platform/profile.h"
#include "platform/profile_rules.h"

namespace platform {

std::string ProfileReader::String(const std::string& section, const std::string& key,
                                  const std::string& fallback, std::size_t bufferSize) const {
  return posix_profile::LookUpString(path_, section, key, fallback, bufferSize);
}

int ProfileReader::Int(const std::string& section, const std::string& key, int fallback) const {
  return posix_profile::LookUpInt(path_, section, key, fallback);
}

}  // namespace platform
