#pragma once

#include <string_view>

#include "testbed/skin/sample_pictures.h"

// A 5 x 7 pixel font for the captions and texts drawn into the sample skin's pictures: capital
// letters, digits and a few signs. Small letters are drawn as capitals, other characters as
// '?'. Each glyph pixel is drawn as a square of `scale` x `scale` pixels.
namespace sample_font {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// Width in pixels of `text` at `scale`: glyphs a column apart, no column after the last.
int TextWidth(std::string_view text, int scale);
int TextHeight(int scale);

// Blends `text` in `colour` over the picture with its top-left corner at (left, top).
void DrawText(sample_pictures::Picture& picture, int left, int top, std::string_view text,
              int scale, sample_pictures::Rgba colour);

}  // namespace sample_font
