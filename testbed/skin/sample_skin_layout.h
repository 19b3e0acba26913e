#pragma once

#include "testbed/skin/sample_pictures.h"

// Where the sample skin puts everything, in pixels of the full-size window. Every figure is
// even, so the half-size skin halves it exactly. The static texts keep the template's size at
// both sizes, 187 x 14 pixels in the dialog's font: each has that much room, with a little to
// spare, even in the half-size window, which is why the buttons stand right of the texts.
namespace sample_skin {

struct Rect {
  int x;
  int y;
  int width;
  int height;

  int right() const { return x + width; }
  int bottom() const { return y + height; }
};

constexpr int kWidth = 960;
constexpr int kHeight = 584;
constexpr sample_pictures::Rgba kKeyColour{255, 0, 255, 255};

// The outline: a body with rounded corners below a title tab that rises out of its top edge.
constexpr Rect kBody{0, 28, kWidth, kHeight - 28};
constexpr int kBodyRadius = 22;
constexpr Rect kTab{360, 0, 240, 70};
constexpr int kTabRadius = 18;
constexpr int kTitleBandBottom = 86;

enum class ButtonStyle { Primary, Secondary, Window };

struct CommandButton {
  const char* section;
  const char* file;  // the pictures' name under skin\ before the state and the extension
  const char* caption;
  ButtonStyle style;
  Rect place;
};

// Button1 .. Button10, in that order.
constexpr CommandButton kCommandButtons[] = {
    {"Button1", "account", "ACCOUNT", ButtonStyle::Secondary, {606, 328, 102, 30}},
    {"Button2", "recharge", "TOP UP", ButtonStyle::Secondary, {712, 328, 102, 30}},
    {"Button3", "start", "PLAY", ButtonStyle::Primary, {816, 386, 120, 84}},
    {"Button4", "quit", "QUIT", ButtonStyle::Secondary, {816, 522, 120, 38}},
    {"Button5", "update", "UPDATE", ButtonStyle::Secondary, {816, 478, 120, 38}},
    {"Button6", "website", "WEBSITE", ButtonStyle::Secondary, {818, 328, 102, 30}},
    {"Button7", "dx", "DX", ButtonStyle::Secondary, {606, 196, 152, 32}},
    {"Button8", "wt", "WT", ButtonStyle::Secondary, {768, 196, 152, 32}},
    {"Button9", "minimise", "_", ButtonStyle::Window, {866, 42, 36, 28}},
    {"Button10", "close", "X", ButtonStyle::Window, {908, 42, 36, 28}},
};

// Lines 1 .. 8 down one column; the window shows only the first two. A radio's picture is as
// big as the system's radio circle, 13 pixels, and no bigger, or the template's text "Radio1"
// shows beside it; so its half-size picture is not half as big.
constexpr int kLines = 8;
constexpr Rect RadioPlace(int line) { return {606, 260 + 30 * (line - 1), 16, 16}; }
constexpr int kHalfRadioSide = 14;
constexpr Rect LabelPlace(int line) { return {636, 258 + 30 * (line - 1), 168, 24}; }

// static1 .. static4: a text above each bar, and one beside it to the right.
constexpr Rect kTextPlaces[] = {
    {44, 404, 188, 15}, {436, 404, 188, 15}, {44, 482, 188, 15}, {436, 482, 188, 15}};
constexpr Rect kProgress[] = {{44, 436, 740, 18}, {44, 514, 740, 18}};
// Progress1's bar and ground, then Progress2's.
struct ProgressColours {
  sample_pictures::Rgba bar;
  sample_pictures::Rgba ground;
};
constexpr ProgressColours kProgressColours[] = {{{54, 150, 220}, {40, 46, 58}},
                                                {{226, 156, 36}, {40, 46, 58}}};
// Its height is the list's too; the edit box is 22 pixels high at both sizes.
constexpr Rect kCombo{606, 132, 314, 200};
constexpr Rect kNews{24, 100, 550, 270};  // the news pane, drawn into the background as well

// Panels and captions of the background.
constexpr Rect kSidePanel{590, 100, 346, 270};
constexpr Rect kStatusPanel{24, 386, 776, 174};
struct Caption {
  const char* text;
  int x;
  int y;
};
constexpr Caption kPanelCaptions[] = {
    {"ZONE", 606, 112}, {"NETWORK", 606, 178}, {"LINE", 606, 238}};

}  // namespace sample_skin
