// The end of a package as a hostile server might send it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::optional<std::string> target =
      TargetOfPackage(std::string_view(reinterpret_cast<const char*>(data), size));
  // A target that passed must stay below the game folder.
  if (target && (target->empty() || target->front() == '\\' ||
                 ("\\" + *target + "\\").find("\\..\\") != std::string::npos ||
                 target->find(':') != std::string::npos)) {
    __builtin_trap();
  }
  return 0;
}
