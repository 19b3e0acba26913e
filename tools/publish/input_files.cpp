#include "tools/publish/input_files.h"

#include <optional>

#include "tools/publish/publish_error.h"

namespace fs = std::filesystem;

platform::File OpenForReading(const fs::path& path) {
  platform::File file;
  if (!file.Open(path.string(), platform::FileMode::Read)) {
    throw PublishError("cannot open " + Quoted(path.string()));
  }
  return file;
}

Digest DigestOfOpenFile(platform::File& file, const fs::path& path) {
  std::optional<Digest> digest = CMD5Checksum::DigestOfFile(file);
  if (!digest) throw PublishError("cannot read " + Quoted(path.string()));
  return *digest;
}

std::string ReadWhole(const fs::path& path) {
  std::optional<std::string> bytes = platform::ReadWholeFile(path.string());
  if (!bytes) throw PublishError("cannot read " + Quoted(path.string()));
  return *bytes;
}
