// CImage over the system's GDI+: decoding the pictures the generator writes, and drawing them.
#include "skin/image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "testbed/skin/sample_pictures.h"
#include "testbed/windows/window_checks.h"
#include "tests/support/scratch_folder.h"

namespace {

using sample_pictures::Format;
using sample_pictures::Picture;
using sample_pictures::Rgba;

void DrawWhole(const CImage& image, const Surface& surface) {
  ASSERT_TRUE(image.Draw(surface.dc(), 0, 0, image.GetWidth(), image.GetHeight(), 0, 0,
                         image.GetWidth(), image.GetHeight()));
}

bool Near(Rgba actual, Rgba expected) {
  return std::abs(actual.red - expected.red) <= 1 && std::abs(actual.green - expected.green) <= 1 &&
         std::abs(actual.blue - expected.blue) <= 1;
}

// Three columns of different colours over two rows, so order and orientation both show.
Picture ThreeByTwo() {
  Picture picture(3, 2, {});
  picture.at(0, 0) = {255, 0, 0, 255};
  picture.at(1, 0) = {0, 255, 0, 128};
  picture.at(2, 0) = {0, 0, 255, 0};
  picture.at(0, 1) = {10, 20, 30, 255};
  picture.at(1, 1) = {200, 100, 50, 64};
  picture.at(2, 1) = {1, 2, 3, 255};
  return picture;
}

TEST(ImageTest, EachFormatLoadsIntoABitmapOfItsDepthWithItsStoredColours) {
  struct Case {
    const char* name;
    Format format;
    int bitsPerPixel;
    bool alpha;
  } cases[] = {
      {"opaque.bmp", Format::Bmp24, 24, false},
      {"indexed.bmp", Format::Bmp8, 8, false},
      {"alpha.png", Format::Png32, 32, true},
  };
  ScratchFolder folder;
  Picture picture = ThreeByTwo();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(sample_pictures::Write(c.name, picture, c.format));
    CImage image;
    ASSERT_TRUE(image.Load(c.name));
    EXPECT_EQ(image.GetWidth(), 3);
    EXPECT_EQ(image.GetHeight(), 2);
    EXPECT_EQ(image.GetBPP(), c.bitsPerPixel);
    EXPECT_EQ(image.HasAlphaChannel(), c.alpha);
    if (c.bitsPerPixel == 8) {
      platform::OwnedMemoryDC dc(CreateCompatibleDC(nullptr));
      platform::Selection selected(dc.get(), image.GetHandle());
      // The file's own table, in its order: the colours as they first appear.
      RGBQUAD table[256];
      ASSERT_GE(GetDIBColorTable(dc.get(), 0, 256, table), 6u);
      for (int i = 0; i < 6; ++i) {
        Rgba stored = picture.at(i % 3, i / 3);
        EXPECT_EQ((Rgba{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, stored.alpha}),
                  stored);
      }
    }
    // The copy without blending shows the colours as stored, alpha or not.
    image.SetHasAlphaChannel(false);
    Surface surface(3, 2, {});
    DrawWhole(image, surface);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        Rgba expected = picture.at(x, y);
        expected.alpha = 255;
        EXPECT_EQ(surface.At(x, y), expected) << x << "," << y;
      }
    }
  }
}

// AlphaBlend wants premultiplied colours; a picture editor's file holds straight ones, and
// keeps colours in pixels it made transparent.
TEST(ImageTest, AlphaDrawingIsSourceOverWhateverColourATransparentPixelStores) {
  Picture picture(4, 1, {});
  picture.at(0, 0) = {200, 0, 0, 0};
  picture.at(1, 0) = {10, 20, 30, 255};
  picture.at(2, 0) = {200, 0, 0, 128};
  picture.at(3, 0) = {0, 0, 0, 0};
  ScratchFolder folder;
  ASSERT_TRUE(sample_pictures::Write("button.png", picture, Format::Png32));
  ASSERT_TRUE(sample_pictures::Write("button.bmp", picture, Format::Bmp24));

  for (Rgba backdrop : {Rgba{255, 255, 255, 255}, Rgba{40, 80, 120, 255}}) {
    SCOPED_TRACE(testing::PrintToString(backdrop));
    CImage blended;
    ASSERT_TRUE(blended.Load("button.png"));
    Surface surface(4, 1, backdrop);
    DrawWhole(blended, surface);
    EXPECT_EQ(surface.At(0, 0), backdrop);
    EXPECT_EQ(surface.At(1, 0), (Rgba{10, 20, 30, 255}));
    Rgba evenMix{static_cast<std::uint8_t>((200 + backdrop.red) / 2),
                 static_cast<std::uint8_t>(backdrop.green / 2),
                 static_cast<std::uint8_t>(backdrop.blue / 2), 255};
    EXPECT_TRUE(Near(surface.At(2, 0), evenMix)) << testing::PrintToString(surface.At(2, 0));
    EXPECT_EQ(surface.At(3, 0), backdrop);

    // A picture without alpha, drawn with the flag forced on, is opaque.
    CImage opaque;
    ASSERT_TRUE(opaque.Load("button.bmp"));
    opaque.SetHasAlphaChannel(true);
    Surface covered(4, 1, backdrop);
    DrawWhole(opaque, covered);
    EXPECT_EQ(covered.At(0, 0), (Rgba{200, 0, 0, 255}));
    EXPECT_EQ(covered.At(3, 0), (Rgba{0, 0, 0, 255}));
  }
}

TEST(ImageTest, LastImageDestroyedStopsTheDecoderAndALaterLoadStartsIt) {
  ScratchFolder folder;
  ASSERT_TRUE(sample_pictures::Write("a.png", ThreeByTwo(), Format::Png32));
  {
    CImage first;
    EXPECT_TRUE(first.Load("a.png"));
    EXPECT_TRUE(ImageDecoderRunning());
    { CImage second; }
    EXPECT_TRUE(ImageDecoderRunning());
  }
  EXPECT_FALSE(ImageDecoderRunning());
  CImage again;
  EXPECT_FALSE(ImageDecoderRunning());
  EXPECT_TRUE(again.Load("a.png"));
  EXPECT_TRUE(ImageDecoderRunning());
}

// Skin files come from the patch server: whatever they hold, a load fails cleanly or works.
TEST(ImageTest, BrokenFilesFailCleanly) {
  std::string bmp = sample_pictures::Encode(ThreeByTwo(), Format::Bmp24);
  std::string png = sample_pictures::Encode(ThreeByTwo(), Format::Png32);
  auto bmpOfSize = [&](std::uint32_t width, std::uint32_t height) {
    std::string header = bmp;
    for (int i = 0; i < 4; ++i) {
      header[18 + i] = static_cast<char>(width >> (8 * i));
      header[22 + i] = static_cast<char>(height >> (8 * i));
    }
    return header;
  };
  auto pngOfSize = [&](std::uint32_t width, std::uint32_t height) {
    std::string fields;
    for (std::uint32_t value : {width, height}) {
      for (int i = 3; i >= 0; --i) fields.push_back(static_cast<char>(value >> (8 * i)));
    }
    fields += {8, 6, 0, 0, 0};
    // Signature, then the new header in place of the old one (4 + 4 + 13 + 4 bytes).
    return png.substr(0, 8) + sample_pictures::PngChunk("IHDR", fields) + png.substr(8 + 25);
  };
  // A cut picture may decode, with what arrived; the others hold no picture that fits.
  struct Case {
    const char* name;
    std::string bytes;
    bool mayLoad;
  } cases[] = {
      {"cut.bmp", bmp.substr(0, bmp.size() / 2), true},
      {"cut.png", png.substr(0, png.size() - 20), true},
      {"header_only.bmp", bmp.substr(0, 20), false},
      {"empty.bmp", bmpOfSize(0, 0), false},
      {"empty.png", pngOfSize(0, 0), false},
      {"huge.bmp", bmpOfSize(30000, 30000), false},
      {"huge.png", pngOfSize(30000, 30000), false},
      {"text.png", "this is no picture", false},
      {"nothing.bmp", "", false},
  };
  ScratchFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    folder.Write(c.name, c.bytes);
    CImage image;
    if (image.Load(c.name)) {
      EXPECT_TRUE(c.mayLoad);
      EXPECT_EQ(image.GetWidth(), 3);
      EXPECT_EQ(image.GetHeight(), 2);
    } else {
      EXPECT_TRUE(image.IsNull());
    }
  }
  CImage missing;
  EXPECT_FALSE(missing.Load("missing.png"));
  EXPECT_TRUE(missing.IsNull());
}

}  // namespace
