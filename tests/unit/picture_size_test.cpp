#include "skin/picture_size.h"

#include <gtest/gtest.h>

#include <string>

#include "testbed/skin/sample_pictures.h"

namespace {

using sample_pictures::Format;

std::string Head(const std::string& file) { return file.substr(0, kPictureHeadBytes); }

TEST(PictureSizeTest, HeadersOfEachKindGiveTheirSides) {
  sample_pictures::Picture picture(300, 70, {});
  std::string info = Head(sample_pictures::Encode(picture, Format::Bmp24));
  std::string topDown = info;
  topDown.replace(22, 4, std::string("\xBA\xFF\xFF\xFF", 4));  // -70
  // BITMAPCOREHEADER: size 12, then 16-bit width and height.
  std::string core = info.substr(0, 14) + std::string("\x0C\0\0\0\x2C\x01\x46\0", 8);
  struct Case {
    const char* name;
    std::string head;
    std::int64_t width;
    std::int64_t height;
  } cases[] = {
      {"bmp", info, 300, 70},
      {"top-down bmp", topDown, 300, 70},
      {"core bmp", core, 300, 70},
      {"png", Head(sample_pictures::Encode(picture, Format::Png32)), 300, 70},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<PictureSize> size = DeclaredPictureSize(c.head);
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, c.width);
    EXPECT_EQ(size->height, c.height);
    // Cut anywhere before its fields end, a header declares nothing.
    for (std::size_t length = 0; length < c.head.size(); ++length) {
      std::optional<PictureSize> cut = DeclaredPictureSize(c.head.substr(0, length));
      if (cut) {
        EXPECT_EQ(cut->width, c.width) << length;
      }
    }
  }
  EXPECT_FALSE(DeclaredPictureSize("GIF89a" + std::string(20, '\0')));
  EXPECT_FALSE(DeclaredPictureSize(std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIDAT", 16) +
                                   std::string(10, '\0')));
}

}  // namespace
