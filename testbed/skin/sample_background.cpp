// The sample skin's background picture.
#include <algorithm>
#include <cmath>
#include <iterator>

#include "testbed/skin/sample_font.h"
#include "testbed/skin/sample_paint.h"
#include "testbed/skin/sample_skin_art.h"

namespace sample_skin {
namespace {

using sample_paint::Blend;
using sample_paint::Box;
using sample_paint::Coverage;
using sample_paint::Mix;
using sample_paint::WithAlpha;
using sample_pictures::Picture;
using sample_pictures::Rgba;

constexpr Rgba kBodyTop{28, 40, 64};
constexpr Rgba kBodyBottom{10, 15, 26};
constexpr Rgba kBandTop{16, 24, 40};
constexpr Rgba kBandBottom{26, 38, 62};
constexpr Rgba kOutline{6, 9, 16};
constexpr Rgba kGold{214, 172, 86};
constexpr Rgba kPaleText{156, 176, 206};
constexpr Rgba kPaper{244, 239, 226};
constexpr Rgba kPaperShade{226, 218, 199};
constexpr Rgba kInk{38, 46, 66};
constexpr Rgba kGreyInk{112, 112, 122};
constexpr Rgba kShadow{0, 0, 0, 255};

Box BoxOf(const Rect& rect, float grow = 0) {
  return {rect.x - grow, rect.y - grow, rect.right() + grow, rect.bottom() + grow};
}

// A smooth union of two distances, which rounds the inner corners where the shapes meet.
float SmoothUnion(float a, float b, float smoothing) {
  float h = std::clamp(0.5f + 0.5f * (b - a) / smoothing, 0.0f, 1.0f);
  return b + (a - b) * h - smoothing * h * (1 - h);
}

float OutlineDistance(int x, int y) {
  return SmoothUnion(sample_paint::RoundedBoxDistance(BoxOf(kBody), kBodyRadius, x, y),
                     sample_paint::RoundedBoxDistance(BoxOf(kTab), kTabRadius, x, y), 12);
}

// Inside the outline the body's gradient, the darker title band with a gold rule below it, a
// light from above the title, and a dark edge with a gold line inside it. Outside, the key:
// the outline is cut along whole pixels, so its edge pixels are drawn opaque.
void PaintBody(Picture& picture) {
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      float distance = OutlineDistance(x, y);
      if (distance >= 0) continue;
      Rgba colour =
          y < kTitleBandBottom
              ? Mix(kBandTop, kBandBottom, static_cast<float>(y) / kTitleBandBottom)
              : Mix(kBodyTop, kBodyBottom,
                    static_cast<float>(y - kTitleBandBottom) / (kHeight - kTitleBandBottom));
      float light = std::hypot((x - kWidth / 2) / 1.6f, static_cast<float>(y)) / 420;
      colour = sample_paint::Lighter(colour, 0.12f * std::max(0.0f, 1 - light));
      if (y == kTitleBandBottom || y == kTitleBandBottom + 1) {
        float fade = std::min({1.0f, x / 120.0f, (kWidth - x) / 120.0f});
        colour = Mix(colour, kGold, 0.8f * fade);
      }
      picture.at(x, y) = colour;
      Blend(picture, x, y, kGold, Coverage(distance + 2) - Coverage(distance + 4));
      if (distance > -2) picture.at(x, y) = kOutline;
    }
  }
}

// A shadow below a box, fading over `spread` pixels.
void SoftShadow(Picture& picture, const Box& box, float radius, float spread, float alpha) {
  Box below{box.left, box.top + 3, box.right, box.bottom + 3};
  for (int y = static_cast<int>(below.top - spread); y < below.bottom + spread; ++y) {
    for (int x = static_cast<int>(below.left - spread); x < below.right + spread; ++x) {
      float distance = sample_paint::RoundedBoxDistance(below, radius, x, y);
      float strength = std::clamp(1 - distance / spread, 0.0f, 1.0f);
      Blend(picture, x, y, kShadow, alpha * strength * strength);
    }
  }
}

// Text with a dark shadow below and to the right, `scale` pixels away.
void ShadowedText(Picture& picture, int x, int y, std::string_view text, int scale, Rgba colour) {
  sample_font::DrawText(picture, x + scale / 2 + 1, y + scale / 2 + 1, text, scale,
                        WithAlpha(kShadow, 0.55f));
  sample_font::DrawText(picture, x, y, text, scale, colour);
}

// The name in large letters of gold that darkens downwards, each letter outlined in black.
void PaintTitle(Picture& picture) {
  constexpr int kScale = 6;
  constexpr std::string_view kName = "VELDRA";
  int width = sample_font::TextWidth(kName, kScale);
  int left = kTab.x + (kTab.width - width) / 2 / 2 * 2;
  int top = 12;
  Picture letters(width, sample_font::TextHeight(kScale), Rgba{0, 0, 0, 0});
  sample_font::DrawText(letters, 0, 0, kName, kScale, {255, 255, 255, 255});
  for (int y = -2; y < letters.height() + 4; ++y) {
    for (int x = -2; x < letters.width() + 4; ++x) {
      bool near = false;
      for (int dy = -2; dy <= 4 && !near; ++dy) {
        for (int dx = -2; dx <= 4 && !near; ++dx) {
          int sx = x - dx, sy = y - dy;
          near = sx >= 0 && sy >= 0 && sx < letters.width() && sy < letters.height() &&
                 letters.at(sx, sy).alpha != 0;
        }
      }
      if (near) Blend(picture, left + x, top + y, WithAlpha(kShadow, 0.7f));
    }
  }
  for (int y = 0; y < letters.height(); ++y) {
    Rgba colour = Mix({255, 232, 150}, {206, 138, 40}, static_cast<float>(y) / letters.height());
    for (int x = 0; x < letters.width(); ++x) {
      if (letters.at(x, y).alpha != 0) picture.at(left + x, top + y) = colour;
    }
  }
  constexpr std::string_view kSubtitle = "PATCH CLIENT";
  int subtitleLeft = kTab.x + (kTab.width - sample_font::TextWidth(kSubtitle, 2)) / 2 / 2 * 2;
  ShadowedText(picture, subtitleLeft, 64, kSubtitle, 2, kPaleText);
  ShadowedText(picture, 32, 50, "SEASON III: FROSTREACH", 2, kPaleText);
}

// Far and near mountains under a night sky with a moon, for the top of the news page.
void PaintBanner(Picture& picture, const Box& card, float radius, int height) {
  struct Peak {
    float x;
    float height;
    float halfWidth;
  };
  constexpr Peak kFar[] = {{60, 46, 90}, {190, 62, 110}, {330, 50, 100}, {470, 58, 120}};
  constexpr Peak kNear[] = {{0, 30, 120}, {140, 24, 90}, {290, 34, 130}, {520, 28, 110}};
  auto ridge = [](const auto& peaks, float x) {
    float top = 0;
    for (const Peak& peak : peaks) {
      top = std::max(top, peak.height * (1 - std::abs(x - peak.x) / peak.halfWidth));
    }
    return top;
  };
  int left = static_cast<int>(card.left);
  int top = static_cast<int>(card.top);
  int width = static_cast<int>(card.right - card.left);
  for (int y = top; y < top + height; ++y) {
    for (int x = left; x < left + width; ++x) {
      float inside = Coverage(sample_paint::RoundedBoxDistance(card, radius, x, y));
      if (inside <= 0) continue;
      float row = static_cast<float>(y - top);
      Rgba colour = Mix({22, 34, 66}, {92, 122, 170}, row / height);
      float moon = std::hypot(x - (left + width - 80.0f), row - 28);
      colour = sample_paint::Lighter(colour, 0.25f * std::max(0.0f, 1 - moon / 60));
      colour = Mix(colour, {250, 244, 222}, Coverage(moon - 13));
      if ((x * 37 + y * 101) % 211 == 0 && row < height - 40) colour = {230, 236, 250};
      float column = static_cast<float>(x - left);
      float far = height - ridge(kFar, column);
      float snowLine = far + 7;
      colour = Mix(colour, row < snowLine ? Rgba{224, 232, 244} : Rgba{70, 94, 136},
                   std::clamp(row + 1 - far, 0.0f, 1.0f));
      float near = height - ridge(kNear, column) - 4;
      colour = Mix(colour, {30, 42, 66}, std::clamp(row + 1 - near, 0.0f, 1.0f));
      Blend(picture, x, y, colour, inside);
    }
  }
}

// A page of news where the news pane goes: a banner, then headlines with a line each below.
void PaintNews(Picture& picture) {
  Box card = BoxOf(kNews);
  SoftShadow(picture, card, 10, 10, 0.6f);
  sample_paint::FillRoundedBox(picture, card, 10, kPaper, kPaperShade);
  constexpr int kBannerHeight = 88;
  PaintBanner(picture, card, 10, kBannerHeight);
  ShadowedText(picture, kNews.x + 20, kNews.y + 18, "NEWS", 4, {255, 255, 255, 255});
  ShadowedText(picture, kNews.x + 20, kNews.y + 58, "FROM THE REALM", 2, {214, 224, 240, 255});
  struct Item {
    const char* headline;
    const char* detail;
  };
  constexpr Item kItems[] = {
      {"FROSTREACH OPENS ON DECEMBER 12", "NEW DUNGEONS, A RAID AND THE WINTER FAIR"},
      {"DOUBLE XP WEEKEND", "FRIDAY 18:00 TO MONDAY 06:00"},
      {"PATCH NOTES 1.0", "FASTER DOWNLOADS AND A NEW LOOK"},
  };
  int y = kNews.y + kBannerHeight + 18;
  for (const Item& item : kItems) {
    picture.Fill(kNews.x + 22, y + 4, kNews.x + 28, y + 10, kGold);
    sample_font::DrawText(picture, kNews.x + 38, y, item.headline, 2, kInk);
    sample_font::DrawText(picture, kNews.x + 38, y + 22, item.detail, 2, kGreyInk);
    y += 48;
  }
  sample_paint::StrokeRoundedBox(picture, card, 10, 1.5f, {176, 156, 116, 255});
}

void PaintSidePanel(Picture& picture) {
  Box panel = BoxOf(kSidePanel);
  SoftShadow(picture, panel, 12, 10, 0.5f);
  sample_paint::FillRoundedBox(picture, panel, 12, {255, 255, 255, 22}, {255, 255, 255, 8});
  sample_paint::StrokeRoundedBox(picture, panel, 12, 1.5f, {255, 255, 255, 48});
  for (const Caption& caption : kPanelCaptions) {
    ShadowedText(picture, caption.x, caption.y, caption.text, 2, kGold);
  }
}

// A light card under the texts, which the window draws in black, with a groove for each bar.
void PaintStatusPanel(Picture& picture) {
  Box card = BoxOf(kStatusPanel);
  SoftShadow(picture, card, 12, 10, 0.6f);
  sample_paint::FillRoundedBox(picture, card, 12, {238, 234, 224}, {214, 207, 192});
  sample_paint::StrokeRoundedBox(picture, card, 12, 1.5f, {170, 150, 110, 255});
  for (const Rect& bar : kProgress) {
    Box groove = BoxOf(bar, 4);
    sample_paint::FillRoundedBox(picture, groove, 6, {150, 142, 128}, {196, 190, 178});
    sample_paint::StrokeRoundedBox(picture, groove, 6, 1, {120, 110, 92, 255});
  }
}

}  // namespace

Picture Background() {
  Picture picture(kWidth, kHeight, kKeyColour);
  PaintBody(picture);
  PaintTitle(picture);
  PaintNews(picture);
  PaintSidePanel(picture);
  PaintStatusPanel(picture);
  return picture;
}

}  // namespace sample_skin
