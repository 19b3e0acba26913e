#include "testbed/skin/sample_paint.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace sample_paint {
namespace {

std::uint8_t Channel(float value) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

bool SameColour(Rgba a, Rgba b) { return a.red == b.red && a.green == b.green && a.blue == b.blue; }

// Calls visit(x, y) for each pixel of the block of up to 2 x 2 below half-size pixel (x, y).
template <class Visit>
void ForBlock(const Picture& picture, int x, int y, Visit visit) {
  for (int sourceY = 2 * y; sourceY < std::min(2 * y + 2, picture.height()); ++sourceY) {
    for (int sourceX = 2 * x; sourceX < std::min(2 * x + 2, picture.width()); ++sourceX) {
      visit(picture.at(sourceX, sourceY));
    }
  }
}

// Calls paint(x, y) for every pixel that may touch the box or the line `margin` beyond it.
template <class Paint>
void ForBoxPixels(const Picture& picture, const Box& box, float margin, Paint paint) {
  int top = std::max(0, static_cast<int>(std::floor(box.top - margin)));
  int bottom = std::min(picture.height(), static_cast<int>(std::ceil(box.bottom + margin)));
  int left = std::max(0, static_cast<int>(std::floor(box.left - margin)));
  int right = std::min(picture.width(), static_cast<int>(std::ceil(box.right + margin)));
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) paint(x, y);
  }
}

}  // namespace

float RoundedBoxDistance(const Box& box, float radius, int x, int y) {
  float halfWidth = (box.right - box.left) / 2;
  float halfHeight = (box.bottom - box.top) / 2;
  radius = std::min({radius, halfWidth, halfHeight});
  float qx = std::abs(x + 0.5f - (box.left + halfWidth)) - (halfWidth - radius);
  float qy = std::abs(y + 0.5f - (box.top + halfHeight)) - (halfHeight - radius);
  float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
  return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

float Coverage(float distance) { return std::clamp(0.5f - distance, 0.0f, 1.0f); }

Rgba Mix(Rgba a, Rgba b, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  auto mix = [t](std::uint8_t from, std::uint8_t to) { return Channel(from + (to - from) * t); };
  return {mix(a.red, b.red), mix(a.green, b.green), mix(a.blue, b.blue), mix(a.alpha, b.alpha)};
}

Rgba Lighter(Rgba colour, float amount) {
  return Mix(colour, {255, 255, 255, colour.alpha}, amount);
}

Rgba Darker(Rgba colour, float amount) { return Mix(colour, {0, 0, 0, colour.alpha}, amount); }

Rgba WithAlpha(Rgba colour, float alpha) {
  colour.alpha = Channel(colour.alpha * alpha);
  return colour;
}

void Blend(Picture& picture, int x, int y, Rgba colour, float coverage) {
  if (x < 0 || y < 0 || x >= picture.width() || y >= picture.height()) return;
  float source = colour.alpha / 255.0f * std::clamp(coverage, 0.0f, 1.0f);
  if (source <= 0) return;
  Rgba& target = picture.at(x, y);
  float below = target.alpha / 255.0f * (1 - source);
  float alpha = source + below;
  auto over = [&](std::uint8_t top, std::uint8_t under) {
    return Channel((top * source + under * below) / alpha);
  };
  target = {over(colour.red, target.red), over(colour.green, target.green),
            over(colour.blue, target.blue), Channel(alpha * 255)};
}

void FillRoundedBox(Picture& picture, const Box& box, float radius, Rgba top, Rgba bottom) {
  float height = std::max(box.bottom - box.top, 1.0f);
  ForBoxPixels(picture, box, 1, [&](int x, int y) {
    float coverage = Coverage(RoundedBoxDistance(box, radius, x, y));
    if (coverage > 0)
      Blend(picture, x, y, Mix(top, bottom, (y + 0.5f - box.top) / height), coverage);
  });
}

void StrokeRoundedBox(Picture& picture, const Box& box, float radius, float width, Rgba colour) {
  ForBoxPixels(picture, box, 1, [&](int x, int y) {
    float distance = RoundedBoxDistance(box, radius, x, y);
    float coverage = Coverage(distance) - Coverage(distance + width);
    if (coverage > 0) Blend(picture, x, y, colour, coverage);
  });
}

Picture HalfSizeByAlpha(const Picture& picture) {
  Picture half((picture.width() + 1) / 2, (picture.height() + 1) / 2, Rgba{0, 0, 0, 0});
  for (int y = 0; y < half.height(); ++y) {
    for (int x = 0; x < half.width(); ++x) {
      float red = 0, green = 0, blue = 0, weight = 0;
      int count = 0;
      ForBlock(picture, x, y, [&](const Rgba& pixel) {
        red += pixel.red * pixel.alpha;
        green += pixel.green * pixel.alpha;
        blue += pixel.blue * pixel.alpha;
        weight += pixel.alpha;
        ++count;
      });
      if (weight > 0) {
        half.at(x, y) = {Channel(red / weight), Channel(green / weight), Channel(blue / weight),
                         Channel(weight / count)};
      }
    }
  }
  return half;
}

Picture HalfSizeKeyed(const Picture& picture, Rgba key) {
  Picture half((picture.width() + 1) / 2, (picture.height() + 1) / 2, key);
  for (int y = 0; y < half.height(); ++y) {
    for (int x = 0; x < half.width(); ++x) {
      float red = 0, green = 0, blue = 0;
      int keyed = 0, others = 0;
      ForBlock(picture, x, y, [&](const Rgba& pixel) {
        if (SameColour(pixel, key)) {
          ++keyed;
          return;
        }
        red += pixel.red;
        green += pixel.green;
        blue += pixel.blue;
        ++others;
      });
      if (others > keyed) {
        half.at(x, y) = {Channel(red / others), Channel(green / others), Channel(blue / others),
                         255};
      }
    }
  }
  return half;
}

}  // namespace sample_paint
