#include "platform/files.h"

namespace platform {

std::optional<std::string> ReadWholeFile(const std::string& name) {
  File file;
  if (!file.Open(name, FileMode::Read, FileShare::Read)) return std::nullopt;
  std::string content;
  char block[64 * 1024];
  for (;;) {
    std::int64_t got = file.Read(block, sizeof block);
    if (got < 0) return std::nullopt;
    if (got == 0) return content;
    content.append(block, static_cast<std::size_t>(got));
  }
}

}  // namespace platform
