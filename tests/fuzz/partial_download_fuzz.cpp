// What a download leaves in temp\ to resume from, as a damaged disk might hold it, and the
// Content-Range a hostile server might answer with.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/partial_download.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (std::optional<PartialTag> tag = ReadTag(bytes)) {
    ContinuesPartial(bytes, PartialDownload{tag->total / 2, tag->total, tag->validator});
  }
  ContinuesPartial(bytes, PartialDownload{40000, 100000, ""});
  ValidatorOf(std::string(bytes), std::string(bytes));
  return 0;
}
