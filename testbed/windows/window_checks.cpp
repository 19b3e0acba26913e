#include "testbed/windows/window_checks.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

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

namespace {
HBITMAP Dib32(int width, int height) {
  void* bits = nullptr;
  return CreateTopDownDib(width, height, 32, {}, &bits);
}

sample_pictures::Rgba RgbaOf(std::uint32_t pixel) {
  return {static_cast<std::uint8_t>(pixel >> 16), static_cast<std::uint8_t>(pixel >> 8),
          static_cast<std::uint8_t>(pixel), 255};
}
}  // namespace

Surface::Surface(int width, int height, sample_pictures::Rgba fill)
    : width_(width),
      height_(height),
      bitmap_(Dib32(width, height)),
      dc_(CreateCompatibleDC(nullptr)),
      selected_(dc_.get(), bitmap_.get()) {
  DibPixels pixels = PixelsOf32BitDib(bitmap_.get());
  for (int y = 0; y < pixels.height; ++y) {
    std::fill_n(pixels.Row(y), pixels.width, fill.red << 16 | fill.green << 8 | fill.blue);
  }
}

sample_pictures::Rgba Surface::At(int x, int y) const {
  GdiFlush();
  return RgbaOf(PixelsOf32BitDib(bitmap_.get()).Row(y)[x]);
}

sample_pictures::Picture Surface::ToPicture() const {
  GdiFlush();
  DibPixels pixels = PixelsOf32BitDib(bitmap_.get());
  sample_pictures::Picture picture(width_, height_, {});
  for (int y = 0; y < height_; ++y) {
    const std::uint32_t* row = pixels.Row(y);
    for (int x = 0; x < width_; ++x) picture.at(x, y) = RgbaOf(row[x]);
  }
  return picture;
}

std::optional<sample_pictures::Picture> CopyScreen(const RECT& area) {
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  Surface copy(width, height, {});
  platform::WindowDC screen(nullptr);
  if (copy.dc() == nullptr || screen.get() == nullptr ||
      !BitBlt(copy.dc(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY)) {
    return std::nullopt;
  }
  return copy.ToPicture();
}

sample_pictures::Picture CaptureScreen(const RECT& area) {
  return CopyScreen(area).value_or(
      sample_pictures::Picture(area.right - area.left, area.bottom - area.top, {0, 0, 0, 255}));
}

void SaveScreenshot(const std::string& name, const sample_pictures::Picture& picture) {
  if (const char* folder = std::getenv("VELDRA_SCREENSHOTS")) {
    sample_pictures::Write(std::string(folder) + "\\" + name + ".png", picture,
                           sample_pictures::Format::Png32);
  }
}
