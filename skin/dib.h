#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

// A top-down DIB section: row 0 is the top row, rows are DibStride bytes apart, and an
// indexed one has `palette` as its colour table. Null when the size cannot be held (a side
// of 0, more than 2 GiB of pixels) or the system refuses it; `bits` then stays unset.
HBITMAP CreateTopDownDib(int width, int height, int bitsPerPixel, std::span<const RGBQUAD> palette,
                         void** bits);

// Bytes from one row to the next: the row's pixels rounded up to a multiple of 4.
std::size_t DibStride(int width, int bitsPerPixel);

// The pixels of a 32-bit DIB section that CreateTopDownDib made; none for any other bitmap.
struct DibPixels {
  int width = 0;
  int height = 0;
  std::uint32_t* rows = nullptr;  // width pixels per row, 0x00RRGGBB plus alpha in the top byte

  std::uint32_t* Row(int y) const { return rows + static_cast<std::size_t>(y) * width; }
};
DibPixels PixelsOf32BitDib(HBITMAP bitmap);
