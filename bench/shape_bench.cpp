// The window shape of a full-HD skin: UpdateWindowShape against the pixel-by-pixel
// construction (one GetPixel per pixel, one CombineRgn per run), on a background with a ragged
// outline: a circle, and random holes inside it. Both must give the same region.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "skin/bitmap_dialog.h"
#include "skin/dib.h"
#include "testbed/windows/pixel_by_pixel_shape.h"
#include "testbed/windows/test_dialogs.h"
#include "testbed/windows/window_checks.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr COLORREF kKey = RGB(255, 0, 255);
constexpr int kRuns = 9;

class ShapedDialog : public CBitmapDialog {
 public:
  ShapedDialog() : CBitmapDialog(IDD_BORDERLESS, nullptr) {}
};

// A disc of grey on the key colour, with 4000 key-colour holes of 1 to 12 pixels inside.
HBITMAP RaggedBackground() {
  void* bits = nullptr;
  HBITMAP bitmap = CreateTopDownDib(kWidth, kHeight, 32, {}, &bits);
  if (bitmap == nullptr) return nullptr;
  DibPixels pixels = PixelsOf32BitDib(bitmap);
  const std::uint32_t key = 0xFF00FF, grey = 0x808080;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      int dx = x - kWidth / 2, dy = y - kHeight / 2;
      pixels.Row(y)[x] = dx * dx + dy * dy <= 530 * 530 ? grey : key;
    }
  }
  std::mt19937 random(1920);
  for (int hole = 0; hole < 4000; ++hole) {
    int size = 1 + static_cast<int>(random() % 12);
    int left = static_cast<int>(random() % (kWidth - size));
    int top = static_cast<int>(random() % (kHeight - size));
    for (int y = top; y < top + size; ++y) std::fill_n(pixels.Row(y) + left, size, key);
  }
  return bitmap;
}

template <class Work>
double BestSeconds(int runs, Work work) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  platform::OwnedBitmap background(RaggedBackground());
  ShapedDialog dialog;
  if (!background || !dialog.Create()) {
    std::fprintf(stderr, "shape_bench: cannot make the background or the window\n");
    return 1;
  }
  SetClientSize(dialog.m_hWnd, kWidth, kHeight);
  dialog.m_keyColor = kKey;
  dialog.m_shapeFromBackground = 1;
  if (!dialog.SetBackground(background.get())) {
    std::fprintf(stderr, "shape_bench: cannot copy the background\n");
    return 1;
  }

  double fast = BestSeconds(kRuns, [&] { dialog.UpdateWindowShape(); });
  platform::OwnedRegion plain;
  double slow = BestSeconds(1, [&] {
    plain.Reset(PixelByPixelShape(dialog.m_hWnd, dialog.m_background->GetSafeHandle(), kKey));
  });
  platform::OwnedRegion applied(CreateRectRgn(0, 0, 0, 0));
  GetWindowRgn(dialog.m_hWnd, applied.get());
  bool same = EqualRgn(applied.get(), plain.get());
  std::size_t rects = WindowShape(dialog.m_hWnd).size();

  std::printf("window shape of a %d x %d background (a disc with 4000 holes), %zu rectangles\n",
              kWidth, kHeight, rects);
  std::printf("UpdateWindowShape (best of %d): %.1f ms\n", kRuns, fast * 1000);
  std::printf("pixel by pixel (GetPixel, CombineRgn per run): %.1f ms\n", slow * 1000);
  std::printf("speed-up: %.0f x\n", slow / fast);
  std::printf("same region: %s\n", same ? "yes" : "NO");
  return same ? 0 : 1;
}
