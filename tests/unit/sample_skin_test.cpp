#include "testbed/skin/sample_skin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "skin/picture_size.h"
#include "skin/small_variant.h"
#include "testbed/skin/sample_font.h"
#include "testbed/skin/sample_skin_art.h"
#include "tests/support/scratch_folder.h"

namespace {

using sample_pictures::Picture;
using sample_pictures::Rgba;

// The template's size of a text in the dialog's font (187 x 14 under Wine), and a little more.
constexpr int kTextWidth = 190;
constexpr int kTextHeight = 15;

struct Place {
  std::string what;
  int left, top, right, bottom;
};

// The skin written into a scratch game folder, read back as the window reads it.
class SampleSkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string patchSys, failure;
    ASSERT_TRUE(sample_skin::WriteSampleSkin(folder.path(),
                                             {{"Combo", "Zone1", "East"},
                                              {"Button3", "Exe", "game.exe"},
                                              {"East", "Server1", "127.0.0.1:80"}},
                                             patchSys, failure))
        << failure;
    folder.Write("patch.sys", patchSys);
  }

  std::string Name(const std::string& section, const std::string& key) const {
    return profile.String(section, key, "", 512);
  }
  int Int(const std::string& section, const std::string& key) const {
    return profile.Int(section, key, -1);
  }

  // The size the picture's header declares; none when the file is missing or no picture.
  std::optional<PictureSize> SizeOf(const std::string& name) const {
    return DeclaredPictureSize(folder.Read(name).substr(0, kPictureHeadBytes));
  }

  // Where a picture button lands: its section's place, as big as its normal picture.
  Place ButtonPlace(const std::string& section, bool half) const {
    std::string name = Name(section, "imagen");
    std::optional<PictureSize> size = SizeOf(half ? SmallVariantName(name) : name);
    int x = Int(section, "X") >> (half ? 1 : 0), y = Int(section, "Y") >> (half ? 1 : 0);
    return {section, x, y, x + static_cast<int>(size ? size->width : 0),
            y + static_cast<int>(size ? size->height : 0)};
  }

  Place Sized(const std::string& section, const char* x, const char* y, const char* cx,
              const char* cy, bool half) const {
    int shift = half ? 1 : 0;
    int left = Int(section, x) >> shift, top = Int(section, y) >> shift;
    return {section, left, top, left + (Int(section, cx) >> shift),
            top + (Int(section, cy) >> shift)};
  }

  // Every control the window shows with the DX lines; the texts and the combo's edit box keep
  // their sizes at half size.
  std::vector<Place> VisiblePlaces(bool half) const {
    std::vector<Place> places;
    for (int n = 1; n <= 10; ++n) places.push_back(ButtonPlace("Button" + std::to_string(n), half));
    for (int line = 1; line <= 2; ++line) {
      places.push_back(ButtonPlace("Radio" + std::to_string(line), half));
      places.push_back(ButtonPlace("RadioDDX" + std::to_string(line), half));
    }
    for (const char* bar : {"Progress1", "Progress2"}) {
      places.push_back(Sized(bar, "X", "Y", "cX", "cY", half));
    }
    for (int text = 1; text <= 4; ++text) {
      std::string section = "static" + std::to_string(text);
      int x = Int(section, "X") >> (half ? 1 : 0), y = Int(section, "Y") >> (half ? 1 : 0);
      places.push_back({section, x, y, x + kTextWidth, y + kTextHeight});
    }
    Place combo = Sized("Combo", "x", "y", "cx", "cy", half);
    combo.bottom = combo.top + 22;
    places.push_back(combo);
    places.push_back(Sized("Browser", "X", "Y", "cX", "cY", half));
    return places;
  }

  ScratchFolder folder;
  platform::ProfileReader profile{folder.path() + "\\patch.sys"};
};

// The pixels of a bottom-up 24-bit BMP as the skin writes it.
Picture ReadBmp24(const std::string& file) {
  auto at = [&](std::size_t offset) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(file[offset])) |
           static_cast<unsigned char>(file[offset + 1]) << 8 |
           static_cast<unsigned char>(file[offset + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(file[offset + 3])) << 24;
  };
  int width = static_cast<int>(at(18)), height = static_cast<int>(at(22));
  std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  Picture picture(width, height, {});
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::size_t offset = at(10) + (height - 1 - y) * stride + 3 * static_cast<std::size_t>(x);
      auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(file[offset + i]); };
      picture.at(x, y) = {byte(2), byte(1), byte(0), 255};
    }
  }
  return picture;
}

TEST_F(SampleSkinTest, EveryPictureNamedIsThereAtBothSizesAndEveryButtonHasAllFourStates) {
  std::vector<std::string> sections;
  for (const char* kind : {"Button", "RadioDDX", "RadioDWT", "Radio"}) {
    int count = std::string(kind) == "Button" ? 10 : 8;
    for (int n = 1; n <= count; ++n) sections.push_back(kind + std::to_string(n));
  }
  std::string background = profile.String("layout", "image", "", 1024);
  ASSERT_FALSE(background.empty());
  std::vector<std::string> names{background};
  for (const std::string& section : sections) {
    SCOPED_TRACE(section);
    ASSERT_NE(Int(section, "X"), -1);
    ASSERT_NE(Int(section, "Y"), -1);
    std::optional<PictureSize> normal;
    for (const char* key : {"imagen", "imageh", "imaged", "imagex"}) {
      std::string name = Name(section, key);
      // A picture button draws nothing in a state without a picture; a radio draws itself.
      if (name.empty() && section.starts_with("Radio") && !section.starts_with("RadioD")) continue;
      ASSERT_FALSE(name.empty()) << key;
      names.push_back(name);
      std::optional<PictureSize> size = SizeOf(name);
      ASSERT_TRUE(size) << name;
      if (!normal) normal = size;
      EXPECT_EQ(size->width, normal->width) << name;
      EXPECT_EQ(size->height, normal->height) << name;
    }
  }
  std::string radio = Name("Radio1", "imagen");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    std::optional<PictureSize> full = SizeOf(name), half = SizeOf(SmallVariantName(name));
    ASSERT_TRUE(full);
    ASSERT_TRUE(half);
    if (name == radio) {
      // Room for the system's 13-pixel circle at both sizes.
      EXPECT_GE(std::min({full->width, full->height, half->width, half->height}), 13);
      continue;
    }
    EXPECT_EQ(half->width, (full->width + 1) / 2);
    EXPECT_EQ(half->height, (full->height + 1) / 2);
  }
}

TEST_F(SampleSkinTest, ControlsLieInsideTheOutlineApartFromEachOtherAtBothSizes) {
  std::string background = profile.String("layout", "image", "", 1024);
  Rgba key{static_cast<std::uint8_t>(profile.Int("layout", "R", 0)),
           static_cast<std::uint8_t>(profile.Int("layout", "G", 0)),
           static_cast<std::uint8_t>(profile.Int("layout", "B", 0)), 255};
  for (bool half : {false, true}) {
    SCOPED_TRACE(half ? "half size" : "full size");
    Picture picture = ReadBmp24(folder.Read(half ? SmallVariantName(background) : background));
    // The corners are cut off: the key colour is what the shape leaves out.
    EXPECT_EQ(picture.at(0, 0), key);
    EXPECT_EQ(picture.at(picture.width() - 1, picture.height() - 1), key);
    std::vector<Place> places = VisiblePlaces(half);
    for (const Place& place : places) {
      SCOPED_TRACE(place.what);
      ASSERT_GT(place.right, place.left);
      ASSERT_GT(place.bottom, place.top);
      ASSERT_GE(place.left, 0);
      ASSERT_GE(place.top, 0);
      ASSERT_LE(place.right, picture.width());
      ASSERT_LE(place.bottom, picture.height());
      int outside = 0;
      for (int y = place.top; y < place.bottom; ++y) {
        for (int x = place.left; x < place.right; ++x) outside += picture.at(x, y) == key;
      }
      EXPECT_EQ(outside, 0) << "pixels outside the window's outline";
    }
    for (std::size_t a = 0; a < places.size(); ++a) {
      for (std::size_t b = a + 1; b < places.size(); ++b) {
        const Place &first = places[a], &second = places[b];
        bool apart = first.right <= second.left || second.right <= first.left ||
                     first.bottom <= second.top || second.bottom <= first.top;
        EXPECT_TRUE(apart) << first.what << " overlaps " << second.what;
      }
    }
  }
}

TEST_F(SampleSkinTest, ExtraKeysJoinTheSkinAndKeysThatWouldBreakTheFileAreRefused) {
  EXPECT_EQ(Name("Button3", "Exe"), "game.exe");
  EXPECT_NE(Name("Button3", "imagen"), "");
  EXPECT_EQ(Name("Combo", "Zone1"), "East");
  EXPECT_EQ(Name("East", "Server1"), "127.0.0.1:80");

  const sample_skin::ProfileKey refused[] = {{"Combo", "Zone2", "West\r\n[Combo]"},
                                             {"Bad]", "key", "v"},
                                             {"Combo", "a=b", "v"},
                                             {"", "key", "v"},
                                             {"Combo", "", "v"}};
  for (const sample_skin::ProfileKey& key : refused) {
    SCOPED_TRACE(key.section + "/" + key.key);
    std::string patchSys, failure;
    EXPECT_FALSE(sample_skin::WriteSampleSkin(folder.path(), {key}, patchSys, failure));
    EXPECT_NE(failure, "");
  }
}

// Mean lightness of the picture as seen over the window's dark blue.
double SeenLight(const Picture& picture) {
  const double ground[3] = {28, 40, 64};
  double light = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const Rgba& p = picture.at(x, y);
      double alpha = p.alpha / 255.0;
      light += (p.red * alpha + ground[0] * (1 - alpha)) * 0.3 +
               (p.green * alpha + ground[1] * (1 - alpha)) * 0.59 +
               (p.blue * alpha + ground[2] * (1 - alpha)) * 0.11;
    }
  }
  return light / (static_cast<double>(picture.width()) * picture.height());
}

// Mean colourfulness of the picture's own pixels, by their alpha.
double Saturation(const Picture& picture) {
  double saturation = 0, weight = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const Rgba& p = picture.at(x, y);
      saturation +=
          p.alpha * (std::max({p.red, p.green, p.blue}) - std::min({p.red, p.green, p.blue}));
      weight += p.alpha;
    }
  }
  return saturation / weight;
}

TEST(SampleButtonTest, StatesDifferAsAPlayerExpectsOnRoundedSoftEdgedPictures) {
  using sample_skin::ButtonState;
  for (const sample_skin::CommandButton& button : sample_skin::kCommandButtons) {
    SCOPED_TRACE(button.section);
    Picture normal = ButtonPicture(button, ButtonState::Normal);
    double normalLight = SeenLight(normal);
    EXPECT_GT(SeenLight(ButtonPicture(button, ButtonState::Focus)), normalLight + 5);
    EXPECT_LT(SeenLight(ButtonPicture(button, ButtonState::Pressed)), normalLight - 3);
    EXPECT_LT(Saturation(ButtonPicture(button, ButtonState::Disabled)), Saturation(normal) / 2);
    // Rounded: the corner is left out, and the curve is drawn with pixels partly covered.
    EXPECT_EQ(normal.at(0, 0).alpha, 0);
    int soft = 0, corner = std::min(16, normal.height() / 2);
    for (int y = 0; y < corner; ++y) {
      for (int x = 0; x < corner; ++x) {
        soft += normal.at(x, y).alpha > 0 && normal.at(x, y).alpha < 255;
      }
    }
    EXPECT_GT(soft, 2);
  }
}

TEST(SampleFontTest, SmallLettersAreCapitalsAndUnknownSignsAQuestionMark) {
  struct Case {
    const char* text;
    const char* drawnAs;
  } cases[] = {{"start", "START"}, {"~#", "??"}, {"a b", "A B"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Picture drawn(100, 10, {0, 0, 0, 0}), expected(100, 10, {0, 0, 0, 0});
    sample_font::DrawText(drawn, 1, 1, c.text, 1, {255, 255, 255, 255});
    sample_font::DrawText(expected, 1, 1, c.drawnAs, 1, {255, 255, 255, 255});
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 100; ++x) ASSERT_EQ(drawn.at(x, y), expected.at(x, y)) << x << "," << y;
    }
  }
  // Glyphs near the right edge are cut, not drawn outside the picture.
  Picture narrow(8, 8, {0, 0, 0, 0});
  sample_font::DrawText(narrow, 5, 5, "WW", 3, {255, 255, 255, 255});
}

}  // namespace
