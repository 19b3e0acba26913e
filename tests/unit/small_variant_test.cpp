#include "skin/small_variant.h"

#include <gtest/gtest.h>

namespace {

TEST(SmallVariantNameTest, SuffixGoesBeforeTheLastDotOfTheWholeName) {
  struct Case {
    const char* name;
    const char* variant;
  } cases[] = {
      {"patch_bg01.bmp", "patch_bg01-s.bmp"},
      {"img.big.png", "img.big-s.png"},
      {"skin.old\\btn", "skin-s.old\\btn"},
      {"btn", "btn-s"},
      {".png", "-s.png"},
      {"btn.", "btn-s."},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(SmallVariantName(c.name), c.variant) << c.name;
}

// Names come from the skin file in buffers of up to 511 characters; the variant is whole.
TEST(SmallVariantNameTest, LongestNameGainsTwoCharactersWhole) {
  std::string name = std::string(507, 'n') + ".png";
  EXPECT_EQ(SmallVariantName(name), std::string(507, 'n') + "-s.png");
}

}  // namespace
