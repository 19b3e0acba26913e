#include "skin/picture_size.h"

namespace {

std::uint32_t Little(std::string_view bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i)
    value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

std::uint32_t Big(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

}  // namespace

// BMP: "BM", the header's size at 14; a 12-byte core header has 16-bit sides at 18 and 20,
// the longer ones 32-bit signed sides at 18 and 22. PNG: the 8-byte signature, then the IHDR
// chunk with 32-bit big-endian sides at 16 and 20.
std::optional<PictureSize> DeclaredPictureSize(std::string_view head) {
  if (head.size() >= 22 && head.substr(0, 2) == "BM" && Little(head, 14, 4) == 12) {
    return PictureSize{Little(head, 18, 2), Little(head, 20, 2)};
  }
  if (head.size() >= 26 && head.substr(0, 2) == "BM") {
    auto height = static_cast<std::int32_t>(Little(head, 22, 4));
    return PictureSize{static_cast<std::int32_t>(Little(head, 18, 4)),
                       height < 0 ? -static_cast<std::int64_t>(height) : height};
  }
  if (head.size() >= 24 && head.substr(0, 8) == "\x89PNG\r\n\x1a\n" &&
      head.substr(12, 4) == "IHDR") {
    return PictureSize{Big(head, 16), Big(head, 20)};
  }
  return std::nullopt;
}
