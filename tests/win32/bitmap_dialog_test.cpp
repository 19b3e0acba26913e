// CBitmapDialog on real windows: the shape read back from the window, the painting read back
// from the screen, dragging and control colours.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "platform/handles_win32.h"
#include "testbed/skin/sample_pictures.h"
#include "testbed/windows/pixel_by_pixel_shape.h"
#include "tests/support/scratch_folder.h"
#include "tests/win32/skinned_test_dialog.h"

namespace {

using sample_pictures::Format;
using sample_pictures::Picture;
using sample_pictures::Rgba;

constexpr Rgba kKey{255, 0, 255, 255};
constexpr Rgba kGrey{128, 128, 128, 255};

struct ShapeCase {
  const char* name;
  int clientWidth;
  int clientHeight;
  Picture background;
  UINT templateId = IDD_BORDERLESS;
  std::int32_t shapeFromBackground = 1;
  Format format = Format::Bmp24;
};

Picture Background(int width, int height, const std::function<void(Picture&)>& mark = {}) {
  Picture picture(width, height, kGrey);
  if (mark) mark(picture);
  return picture;
}

// Whether a pixel of the window (window coordinates) belongs to its shape: all of the frame,
// and the background's pixels over the client area that are not the key colour.
bool ExpectedInside(const ShapeCase& c, POINT client, int x, int y) {
  if (c.shapeFromBackground == 0) return true;
  int bx = x - client.x, by = y - client.y;
  if (bx < 0 || by < 0 || bx >= c.clientWidth || by >= c.clientHeight) return true;
  if (bx >= c.background.width() || by >= c.background.height()) return false;
  Rgba pixel = c.background.at(bx, by);
  pixel.alpha = 255;
  return !(pixel == kKey);
}

TEST(WindowShapeTest, ShapeHoldsExactlyTheNonKeyPixelsOverTheClientAreaAndTheFrame) {
  std::vector<ShapeCase> cases;
  cases.push_back({"no key pixel", 6, 4, Background(6, 4)});
  cases.push_back({"a row of key pixels", 6, 4,
                   Background(6, 4, [](Picture& p) { p.Fill(0, 1, 6, 2, kKey); })});
  cases.push_back({"a key pixel in the last column", 6, 4,
                   Background(6, 4, [](Picture& p) { p.at(5, 2) = kKey; })});
  cases.push_back({"a lone pixel between key pixels", 6, 4, Background(6, 4, [](Picture& p) {
                     p.Fill(0, 2, 6, 3, kKey);
                     p.at(3, 2) = kGrey;
                   })});
  cases.push_back({"one unit off the key in each channel", 6, 4, Background(6, 4, [](Picture& p) {
                     p.at(0, 0) = {254, 0, 255, 255};
                     p.at(1, 0) = {255, 1, 255, 255};
                     p.at(2, 0) = {255, 0, 254, 255};
                     p.at(3, 0) = kKey;
                   })});
  cases.push_back(
      {"background larger than the client area", 6, 4, Background(10, 8, [](Picture& p) {
         p.at(2, 3) = kKey;
         p.Fill(6, 0, 10, 8, kKey);
       })});
  cases.push_back({"client area larger than the background", 6, 5,
                   Background(4, 3, [](Picture& p) { p.at(1, 1) = kKey; })});
  cases.push_back({"shape flag off with a background", 6, 4,
                   Background(6, 4, [](Picture& p) { p.Fill(0, 0, 6, 2, kKey); }), IDD_BORDERLESS,
                   0});
  cases.push_back({"framed dialog keeps its frame", 60, 40,
                   Background(60, 40, [](Picture& p) { p.Fill(0, 0, 60, 10, kKey); }), IDD_FRAMED});
  // Transparent pixels keep their stored colour for the key test: a key pixel is cut, a
  // transparent grey one is not.
  cases.push_back({"picture with alpha", 6, 4,
                   Background(6, 4,
                              [](Picture& p) {
                                p.at(0, 0) = {255, 0, 255, 0};
                                p.at(1, 0) = {128, 128, 128, 0};
                              }),
                   IDD_BORDERLESS, 1, Format::Png32});

  ScratchFolder folder;
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = c.format == Format::Png32 ? "background.png" : "background.bmp";
    ASSERT_TRUE(sample_pictures::Write(file, c.background, c.format));
    SkinnedTestDialog dialog(c.templateId);
    ASSERT_TRUE(dialog.Open(c.clientWidth, c.clientHeight));
    dialog.m_shapeFromBackground = c.shapeFromBackground;
    dialog.m_keyColor = RGB(kKey.red, kKey.green, kKey.blue);
    ASSERT_TRUE(dialog.LoadBackground(file));

    RECT window{};
    dialog.GetWindowRect(&window);
    POINT client = dialog.ClientOffset();
    std::vector<RECT> shape = WindowShape(dialog.m_hWnd);
    ASSERT_FALSE(shape.empty());
    int mismatches = 0;
    for (int y = -2; y < window.bottom - window.top + 2; ++y) {
      for (int x = -2; x < window.right - window.left + 2; ++x) {
        bool inWindow =
            x >= 0 && y >= 0 && x < window.right - window.left && y < window.bottom - window.top;
        bool expected = inWindow && ExpectedInside(c, client, x, y);
        if (ShapeContains(shape, x, y) != expected && ++mismatches <= 5) {
          ADD_FAILURE() << "pixel " << x << "," << y << " should be "
                        << (expected ? "inside" : "outside");
        }
      }
    }
  }
}

TEST(WindowShapeTest, EqualsThePixelByPixelConstructionOnRandomBackgrounds) {
  std::mt19937 random(20261209);
  const Rgba colours[] = {kKey, kGrey, {255, 0, 254, 255}, {0, 0, 0, 255}};
  for (int round = 0; round < 12; ++round) {
    int width = 1 + static_cast<int>(random() % 48), height = 1 + static_cast<int>(random() % 32);
    int keyShare = static_cast<int>(random() % 100);
    Picture background(width, height, kGrey);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        bool key = static_cast<int>(random() % 100) < keyShare;
        background.at(x, y) = key ? kKey : colours[1 + random() % 3];
      }
    }
    ScratchFolder folder;
    ASSERT_TRUE(sample_pictures::Write("random.bmp", background, Format::Bmp24));
    SkinnedTestDialog dialog(round % 3 == 0 ? IDD_FRAMED : IDD_BORDERLESS);
    ASSERT_TRUE(
        dialog.Open(20 + static_cast<int>(random() % 40), 10 + static_cast<int>(random() % 30)));
    dialog.m_shapeFromBackground = 1;
    dialog.m_keyColor = RGB(255, 0, 255);
    ASSERT_TRUE(dialog.LoadBackground("random.bmp"));

    platform::OwnedRegion fast(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(GetWindowRgn(dialog.m_hWnd, fast.get()), ERROR);
    platform::OwnedRegion plain(
        PixelByPixelShape(dialog.m_hWnd, dialog.m_background->GetSafeHandle(), dialog.m_keyColor));
    EXPECT_TRUE(EqualRgn(fast.get(), plain.get()))
        << "round " << round << ": " << width << " x " << height << ", " << keyShare << "% key";
  }
}

// A checkerboard makes one rectangle per pixel: far past what a display server takes.
TEST(WindowShapeTest, NoiseForAnOutlineLeavesAPlainRectangle) {
  Picture noise(400, 200, kGrey);
  for (int y = 0; y < 200; ++y) {
    for (int x = (y % 2); x < 400; x += 2) noise.at(x, y) = kKey;
  }
  ScratchFolder folder;
  ASSERT_TRUE(sample_pictures::Write("noise.bmp", noise, Format::Bmp24));
  SkinnedTestDialog dialog;
  ASSERT_TRUE(dialog.Open(400, 200));
  dialog.m_shapeFromBackground = 1;
  dialog.m_keyColor = RGB(255, 0, 255);
  ASSERT_TRUE(dialog.LoadBackground("noise.bmp"));
  dialog.ShowWindow(SW_SHOWNOACTIVATE);
  PaintNow(dialog.m_hWnd);
  std::vector<RECT> shape = WindowShape(dialog.m_hWnd);
  ASSERT_EQ(shape.size(), 1u);
  EXPECT_EQ(shape[0].right, 400);
  EXPECT_EQ(shape[0].bottom, 200);
}

TEST(WindowPaintTest, BackgroundAndButtonPicturesOnTheScreen) {
  ScratchFolder folder;
  // A background with a gradient, and a key-colour notch cut out of its top-right corner.
  Picture background(120, 60, {});
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 120; ++x) {
      background.at(x, y) = {static_cast<std::uint8_t>(2 * x), static_cast<std::uint8_t>(4 * y),
                             100, 255};
    }
  }
  background.Fill(100, 0, 120, 20, kKey);
  // A button picture of three stripes: transparent with a stored colour, opaque, half.
  Picture blended(30, 12, {200, 0, 0, 0});
  blended.Fill(10, 0, 20, 12, {0, 0, 255, 255});
  blended.Fill(20, 0, 30, 12, {200, 0, 0, 128});
  Picture opaque(16, 8, {0, 160, 0, 255});
  opaque.Fill(0, 0, 8, 4, {0, 0, 0, 255});
  ASSERT_TRUE(sample_pictures::Write("bg.bmp", background, Format::Bmp24));
  ASSERT_TRUE(sample_pictures::Write("blended.png", blended, Format::Png32));
  ASSERT_TRUE(sample_pictures::Write("opaque.bmp", opaque, Format::Bmp24));
  folder.Write("skin.ini",
               "[One]\r\nX=10\r\nY=20\r\nimagen=blended.png\r\nimageh=blended.png\r\n"
               "[Two]\r\nX=60\r\nY=30\r\nimagen=opaque.bmp\r\nimageh=opaque.bmp\r\n");

  SkinnedTestDialog dialog;
  ASSERT_TRUE(dialog.Open(120, 60));
  ASSERT_TRUE(dialog.LoadBackground("bg.bmp"));
  std::string skin = folder.path() + "\\skin.ini";
  ASSERT_TRUE(dialog.picture.LoadSkin("One", skin, false));
  ASSERT_TRUE(dialog.second.LoadSkin("Two", skin, false));
  dialog.m_shapeFromBackground = 1;
  dialog.m_keyColor = RGB(255, 0, 255);
  dialog.UpdateWindowShape();
  dialog.ShowWindow(SW_SHOWNOACTIVATE);
  PaintNow(dialog.m_hWnd);

  RECT window{};
  dialog.GetWindowRect(&window);
  Picture screen = CaptureScreen(window);
  SaveScreenshot("skinned_test_window", screen);

  auto expected = [&](int x, int y) {
    Rgba under = background.at(x, y);
    if (x >= 10 && x < 40 && y >= 20 && y < 32) {
      Rgba over = blended.at(x - 10, y - 20);
      auto mix = [&](int top, int bottom) {
        return (top * over.alpha + bottom * (255 - over.alpha)) / 255;
      };
      return Rgba{static_cast<std::uint8_t>(mix(over.red, under.red)),
                  static_cast<std::uint8_t>(mix(over.green, under.green)),
                  static_cast<std::uint8_t>(mix(over.blue, under.blue)), 255};
    }
    if (x >= 60 && x < 76 && y >= 30 && y < 38) return opaque.at(x - 60, y - 30);
    return under;
  };
  int wrong = 0;
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 120; ++x) {
      Rgba shown = screen.at(x, y);
      bool ok = background.at(x, y) == kKey
                    ? !(shown == kKey)  // cut out: whatever lies behind shows
                    : std::abs(shown.red - expected(x, y).red) <= 1 &&
                          std::abs(shown.green - expected(x, y).green) <= 1 &&
                          std::abs(shown.blue - expected(x, y).blue) <= 1;
      if (!ok && ++wrong <= 5) {
        ADD_FAILURE() << "pixel " << x << "," << y << " shows " << testing::PrintToString(shown);
      }
    }
  }
}

// The press is posted, not sent: taking it off the queue keeps the window manager's move loop
// from running in the test.
TEST(WindowDragTest, PressOnTheSurfaceStartsAMoveOnlyWhenDraggingIsOn) {
  for (std::int32_t drag : {0, 1}) {
    SCOPED_TRACE(drag);
    SkinnedTestDialog dialog;
    ASSERT_TRUE(dialog.Open(100, 50));
    dialog.m_dragAnywhere = drag;
    PumpMessages();
    dialog.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 7));
    MSG posted{};
    bool moved =
        PeekMessageA(&posted, dialog.m_hWnd, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE);
    EXPECT_EQ(moved, drag != 0);
    if (moved) {
      EXPECT_EQ(posted.wParam, static_cast<WPARAM>(HTCAPTION));
      EXPECT_EQ(posted.lParam, MAKELPARAM(15, 7));
    }
  }
}

TEST(ControlColourTest, StaticsGetTheNullBrushAndTransparentTextExceptTrackbars) {
  SkinnedTestDialog dialog;
  ASSERT_TRUE(dialog.Open(300, 200));
  HBRUSH nullBrush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  platform::OwnedMemoryDC dc(CreateCompatibleDC(nullptr));
  auto ask = [&](UINT message, int control, std::int32_t transparent) {
    dialog.m_transparentStatics = transparent;
    SetBkMode(dc.get(), OPAQUE);
    return reinterpret_cast<HBRUSH>(
        dialog.SendMessage(message, reinterpret_cast<WPARAM>(dc.get()),
                           reinterpret_cast<LPARAM>(GetDlgItem(dialog.m_hWnd, control))));
  };

  EXPECT_EQ(ask(WM_CTLCOLORSTATIC, IDC_TEXT, 1), nullBrush);
  EXPECT_EQ(GetBkMode(dc.get()), TRANSPARENT);
  EXPECT_EQ(ask(WM_CTLCOLORSTATIC, IDC_RADIO, 1), nullBrush);

  HBRUSH base = ask(WM_CTLCOLORSTATIC, IDC_TRACKBAR, 0);
  EXPECT_NE(base, nullBrush);
  EXPECT_EQ(ask(WM_CTLCOLORSTATIC, IDC_TRACKBAR, 1), base);
  EXPECT_EQ(GetBkMode(dc.get()), OPAQUE);
  EXPECT_NE(ask(WM_CTLCOLORSTATIC, IDC_TEXT, 0), nullBrush);
  EXPECT_NE(ask(WM_CTLCOLORBTN, IDC_PICTURE_BUTTON, 1), nullBrush);
  EXPECT_EQ(GetBkMode(dc.get()), OPAQUE);
}

}  // namespace
