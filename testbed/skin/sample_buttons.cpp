// The sample skin's button, label and radio pictures.
#include <cstdint>

#include "testbed/skin/sample_font.h"
#include "testbed/skin/sample_paint.h"
#include "testbed/skin/sample_skin_art.h"

namespace sample_skin {
namespace {

using sample_paint::Box;
using sample_paint::Darker;
using sample_paint::Lighter;
using sample_paint::Mix;
using sample_paint::WithAlpha;
using sample_pictures::Picture;
using sample_pictures::Rgba;

struct Look {
  Rgba top;
  Rgba bottom;
  Rgba border;
  Rgba caption;
  Rgba captionShadow;
  int captionScale;
  float radius;
};

Look LookOf(ButtonStyle style) {
  switch (style) {
    case ButtonStyle::Primary:
      return {
          {255, 208, 100}, {220, 138, 30}, {120, 66, 8}, {74, 38, 0}, {255, 236, 190, 150}, 4, 14};
    case ButtonStyle::Window:
      return {{255, 255, 255, 44},
              {255, 255, 255, 16},
              {255, 255, 255, 70},
              {222, 228, 238},
              {0, 0, 0, 140},
              2,
              6};
    case ButtonStyle::Secondary:
      break;
  }
  return {{80, 120, 176}, {42, 72, 118}, {16, 30, 54}, {242, 246, 252}, {0, 0, 0, 150}, 2, 9};
}

Rgba Grey(Rgba colour) {
  auto level =
      static_cast<std::uint8_t>((colour.red * 30 + colour.green * 59 + colour.blue * 11) / 100);
  return Mix({level, level, level, colour.alpha}, {118, 118, 118, colour.alpha}, 0.5f);
}

// What a state changes: lighter under the pointer or focus, darker and sunk when pressed,
// grey when disabled.
Look StateLook(Look look, ButtonState state) {
  switch (state) {
    case ButtonState::Normal:
      break;
    case ButtonState::Focus:
      look.top = Lighter(look.top, 0.28f);
      look.bottom = Lighter(look.bottom, 0.22f);
      look.border = {255, 220, 130, 255};
      break;
    case ButtonState::Pressed: {
      Rgba top = look.top;
      look.top = Darker(look.bottom, 0.22f);
      look.bottom = Darker(top, 0.05f);
      break;
    }
    case ButtonState::Disabled:
      look.top = WithAlpha(Grey(look.top), 0.85f);
      look.bottom = WithAlpha(Grey(look.bottom), 0.85f);
      look.border = WithAlpha(Grey(look.border), 0.85f);
      look.caption = {176, 176, 176, 255};
      look.captionShadow = {60, 60, 60, 120};
      break;
  }
  return look;
}

}  // namespace

Picture ButtonPicture(const CommandButton& button, ButtonState state) {
  Look look = StateLook(LookOf(button.style), state);
  Picture picture(button.place.width, button.place.height, Rgba{0, 0, 0, 0});
  // Pressed, the face sinks by a pixel of the half-size picture, and loses its shadow.
  int sink = state == ButtonState::Pressed ? 2 : 0;
  Box face{2, 1.0f + sink, picture.width() - 2.0f, picture.height() - 3.0f + sink};
  if (state != ButtonState::Pressed && button.style != ButtonStyle::Window) {
    Box shadow{face.left, face.top + 2, face.right, face.bottom + 2};
    sample_paint::FillRoundedBox(picture, shadow, look.radius, {0, 0, 0, 90}, {0, 0, 0, 130});
  }
  sample_paint::FillRoundedBox(picture, face, look.radius, look.top, look.bottom);
  if (state != ButtonState::Pressed && state != ButtonState::Disabled) {
    Box shine{face.left + 2, face.top + 1, face.right - 2, face.top + (face.bottom - face.top) / 2};
    sample_paint::FillRoundedBox(picture, shine, look.radius - 2, {255, 255, 255, 70},
                                 {255, 255, 255, 10});
  }
  float borderWidth = state == ButtonState::Focus ? 2 : 1.5f;
  sample_paint::StrokeRoundedBox(picture, face, look.radius, borderWidth, look.border);

  int scale = look.captionScale;
  int width = sample_font::TextWidth(button.caption, scale);
  int height = sample_font::TextHeight(scale);
  // Even places keep the caption's pixels whole in the half-size picture.
  int left = (picture.width() - width) / 4 * 2;
  int top = static_cast<int>(face.top + face.bottom - height) / 4 * 2;
  sample_font::DrawText(picture, left + scale / 2, top + scale / 2, button.caption, scale,
                        look.captionShadow);
  sample_font::DrawText(picture, left, top, button.caption, scale, look.caption);
  return picture;
}

Picture LineLabel(std::string_view caption) {
  Rect place = LabelPlace(1);
  Picture picture(place.width, place.height, Rgba{0, 0, 0, 0});
  int top = (place.height - sample_font::TextHeight(2)) / 4 * 2;
  sample_font::DrawText(picture, 3, top + 1, caption, 2, {0, 0, 0, 160});
  sample_font::DrawText(picture, 2, top, caption, 2, {232, 236, 244, 255});
  // Four bars rising to the right: a line's signal.
  for (int bar = 0; bar < 4; ++bar) {
    int left = place.width - 34 + bar * 8;
    int barTop = place.height - 4 - 4 * (bar + 1);
    picture.Fill(left, barTop, left + 6, place.height - 4, {214, 172, 86, 255});
  }
  return picture;
}

Picture RadioPicture(int side) { return Picture(side, side, Rgba{0, 0, 0, 0}); }

}  // namespace sample_skin
