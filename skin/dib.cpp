#include "skin/dib.h"

#include <algorithm>
#include <limits>
#include <vector>

std::size_t DibStride(int width, int bitsPerPixel) {
  return (static_cast<std::size_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

HBITMAP CreateTopDownDib(int width, int height, int bitsPerPixel, std::span<const RGBQUAD> palette,
                         void** bits) {
  constexpr std::size_t kMaxBytes = std::numeric_limits<std::int32_t>::max();
  if (width <= 0 || height <= 0 || palette.size() > 256 ||
      DibStride(width, bitsPerPixel) > kMaxBytes / height) {
    return nullptr;
  }
  // BITMAPINFO with room for the colour table after its header.
  std::vector<std::byte> info(sizeof(BITMAPINFOHEADER) + palette.size() * sizeof(RGBQUAD));
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = width;
  header->biHeight = -height;
  header->biPlanes = 1;
  header->biBitCount = static_cast<WORD>(bitsPerPixel);
  header->biCompression = BI_RGB;
  header->biClrUsed = static_cast<DWORD>(palette.size());
  std::copy(palette.begin(), palette.end(),
            reinterpret_cast<RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER)));
  return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, bits,
                          nullptr, 0);
}

DibPixels PixelsOf32BitDib(HBITMAP bitmap) {
  DIBSECTION section{};
  if (bitmap == nullptr || GetObjectA(bitmap, sizeof(section), &section) != sizeof(section) ||
      section.dsBm.bmBitsPixel != 32 || section.dsBm.bmBits == nullptr) {
    return {};
  }
  return {section.dsBm.bmWidth, section.dsBm.bmHeight,
          static_cast<std::uint32_t*>(section.dsBm.bmBits)};
}
