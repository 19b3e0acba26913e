// localfileStatus.log as a crash or a disk error might leave it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/status_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FileDigestMap files;
  ReadStatusLog(bytes, files);
  // What was read saves and reads back the same.
  FileDigestMap again;
  ReadStatusLog(StatusLogBytes(files), again);
  if (again.size() != files.size()) __builtin_trap();
  return 0;
}
