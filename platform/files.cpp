#include "platform/files.h"

namespace platform {

std::optional<std::string> ReadWholeFile(const std::string& name) {
  File file;
  if (!file.Open(name, FileMode::Read, FileShare::Read)) return std::nullopt;
  std::string content;
  // Sized once: growing a string of megabytes block by block copies it over and over.
  if (std::optional<std::int64_t> length = file.Length(); length && *length > 0) {
    content.reserve(static_cast<std::size_t>(*length));
  }
  char block[64 * 1024];
  for (;;) {
    std::int64_t got = file.Read(block, sizeof block);
    if (got < 0) return std::nullopt;
    if (got == 0) return content;
    content.append(block, static_cast<std::size_t>(got));
  }
}

}  // namespace platform
