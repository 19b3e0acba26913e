#pragma once

#include <memory>
#include <string>
#include <string_view>

// The content of a gzip package, read in pieces: from a file, or from the package's bytes in
// memory. Both read the same way: the members one after the other, to the first bytes that
// are not gzip (a package's trailer).
class GzipSource {
 public:
  virtual ~GzipSource() = default;
  // Up to `size` bytes of content: 0 at its end, -1 when the package is broken (Failure()
  // says how, in zlib's words).
  virtual int Read(char* buffer, unsigned size) = 0;
  // Whether the bytes are no gzip at all (a web page in a package's place), once read from.
  virtual bool NotGzip() const = 0;
  virtual std::string Failure() const = 0;
  // Ends the reading; false when that found the package broken.
  virtual bool Close() = 0;
};

// None when the file cannot be opened.
std::unique_ptr<GzipSource> OpenGzipFile(const std::string& path);
// Reads `package` where it stands: it must outlive the source.
std::unique_ptr<GzipSource> GzipInMemory(std::string_view package);
