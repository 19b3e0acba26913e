#include "testbed/remote/screen_capture.h"

#include <cstdint>

#include "platform/handles_win32.h"
#include "skin/dib.h"

std::optional<sample_pictures::Picture> CaptureScreen(const RECT& area) {
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  void* bits = nullptr;
  platform::OwnedBitmap copy(CreateTopDownDib(width, height, 32, {}, &bits));
  platform::OwnedMemoryDC dc(CreateCompatibleDC(nullptr));
  if (!copy || !dc) return std::nullopt;
  platform::Selection selected(dc.get(), copy.get());
  platform::WindowDC screen(nullptr);
  if (!selected.ok() || screen.get() == nullptr ||
      !BitBlt(dc.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY)) {
    return std::nullopt;
  }
  GdiFlush();
  DibPixels pixels = PixelsOf32BitDib(copy.get());
  sample_pictures::Picture picture(width, height, {});
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* row = pixels.Row(y);
    for (int x = 0; x < width; ++x) {
      picture.at(x, y) = {static_cast<std::uint8_t>(row[x] >> 16),
                          static_cast<std::uint8_t>(row[x] >> 8), static_cast<std::uint8_t>(row[x]),
                          255};
    }
  }
  return picture;
}
