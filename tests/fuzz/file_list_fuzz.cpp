// filelist.log as a hostile server might send it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/file_digests.h"
#include "engine/file_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FileDigestMap files;
  ReadFileList(std::string_view(reinterpret_cast<const char*>(data), size), files);
  for (const auto& [key, digests] : files) {
    if (key.empty() || key.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
      __builtin_trap();  // a key that names no file must never be taken
    }
  }
  return 0;
}
