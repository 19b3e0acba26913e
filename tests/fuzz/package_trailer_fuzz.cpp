// The end of a package as a hostile server might send it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.size() < kTrailerEndSize) return 0;
  std::optional<std::uint32_t> length =
      TrailerLengthOf(bytes.substr(bytes.size() - kTrailerEndSize), bytes.size());
  if (!length) return 0;
  std::optional<std::string> target = TargetOfTrailer(bytes.substr(bytes.size() - *length));
  // A target that passed must stay below the game folder.
  if (target && (target->empty() || target->front() == '\\' ||
                 ("\\" + *target + "\\").find("\\..\\") != std::string::npos ||
                 target->find(':') != std::string::npos)) {
    __builtin_trap();
  }
  return 0;
}
