#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Lookups in an INI file with the rules of the Windows profile functions: names ignore case,
// a missing section or key gives the default, a text is cut to the buffer size less one, an
// integer is read from the start of the text. The file is read again on every lookup, so a
// file replaced by a download is seen at once.
class ProfileReader {
 public:
  explicit ProfileReader(std::string fullPath) : path_(std::move(fullPath)) {}

  std::string String(const std::string& section, const std::string& key,
                     const std::string& fallback, std::size_t bufferSize) const;
  int Int(const std::string& section, const std::string& key, int fallback) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace platform
