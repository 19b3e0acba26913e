// What a network in the way may send in place of pserv.log, remote.ver or latest.ver.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/control_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  LooksLikeWebPage(bytes);
  WhyNotPservLog(bytes);
  WhyNotVersionFile(bytes);
  return 0;
}
