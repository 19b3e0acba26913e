#include "testbed/windows/pixel_by_pixel_shape.h"

#include <algorithm>

#include "platform/handles_win32.h"

namespace {
void AddRun(HRGN shape, int left, int top, int right) {
  platform::OwnedRegion run(CreateRectRgn(left, top, right, top + 1));
  CombineRgn(shape, shape, run.get(), RGN_OR);
}
}  // namespace

HRGN PixelByPixelShape(HWND window, HBITMAP background, COLORREF keyColor) {
  RECT outer{}, client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  int cx = origin.x - outer.left, cy = origin.y - outer.top;

  HRGN shape = CreateRectRgn(0, 0, outer.right - outer.left, outer.bottom - outer.top);
  platform::OwnedRegion clientArea(CreateRectRgn(cx, cy, cx + client.right, cy + client.bottom));
  CombineRgn(shape, shape, clientArea.get(), RGN_XOR);

  BITMAP size{};
  GetObjectA(background, sizeof(size), &size);
  int width = std::min<int>(size.bmWidth, client.right);
  int height = std::min<int>(size.bmHeight, client.bottom);
  platform::OwnedMemoryDC dc(CreateCompatibleDC(nullptr));
  platform::Selection selected(dc.get(), background);
  for (int y = 0; y < height && width > 0; ++y) {
    int start = 0;
    for (int x = 0; x < width; ++x) {
      if ((GetPixel(dc.get(), x, y) & 0xFFFFFF) != keyColor) continue;
      if (start != x) AddRun(shape, cx + start, cy + y, cx + x);
      start = x + 1;
    }
    if (start != width) AddRun(shape, cx + start, cy + y, cx + width);
  }
  return shape;
}
