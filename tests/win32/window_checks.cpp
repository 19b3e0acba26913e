#include "tests/win32/window_checks.h"

#include <cstdlib>

#include "platform/handles_win32.h"
#include "skin/dib.h"

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void PaintNow(HWND window) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpMessages();
  GdiFlush();
  // The display shows what was painted a moment later.
  Sleep(200);
  PumpMessages();
}

void SetClientSize(HWND window, int width, int height) {
  RECT outer{0, 0, width, height};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
  SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::vector<RECT> WindowShape(HWND window) {
  platform::OwnedRegion region(CreateRectRgn(0, 0, 0, 0));
  if (GetWindowRgn(window, region.get()) == ERROR) return {};
  DWORD size = GetRegionData(region.get(), 0, nullptr);
  std::vector<std::byte> data(size);
  auto* header = reinterpret_cast<RGNDATA*>(data.data());
  if (size == 0 || GetRegionData(region.get(), size, header) != size) return {};
  auto* rects = reinterpret_cast<const RECT*>(header->Buffer);
  return {rects, rects + header->rdh.nCount};
}

bool ShapeContains(const std::vector<RECT>& shape, int x, int y) {
  for (const RECT& rect : shape) {
    if (x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom) return true;
  }
  return false;
}

sample_pictures::Picture CaptureScreen(const RECT& area) {
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  sample_pictures::Picture picture(width, height, {});
  void* bits = nullptr;
  platform::OwnedBitmap copy(CreateTopDownDib(width, height, 32, {}, &bits));
  platform::WindowDC screen(nullptr);
  platform::OwnedMemoryDC memory(CreateCompatibleDC(screen.get()));
  {
    platform::Selection selected(memory.get(), copy.get());
    BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
  }
  DibPixels pixels = PixelsOf32BitDib(copy.get());
  for (int y = 0; y < height && pixels.rows != nullptr; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint32_t pixel = pixels.Row(y)[x];
      picture.at(x, y) = {static_cast<std::uint8_t>(pixel >> 16),
                          static_cast<std::uint8_t>(pixel >> 8), static_cast<std::uint8_t>(pixel),
                          255};
    }
  }
  return picture;
}

void SaveScreenshot(const std::string& name, const sample_pictures::Picture& picture) {
  if (const char* folder = std::getenv("VELDRA_SCREENSHOTS")) {
    sample_pictures::Write(std::string(folder) + "\\" + name + ".png", picture,
                           sample_pictures::Format::Png32);
  }
}
