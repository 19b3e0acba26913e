#pragma once

#include <string_view>

#include "testbed/skin/sample_pictures.h"
#include "testbed/skin/sample_skin_layout.h"

// The sample skin's pictures at full size, drawn to the layout.
namespace sample_skin {

enum class ButtonState { Normal, Focus, Pressed, Disabled };

// The window's background: the key colour outside the outline; inside, the title, the panels
// the controls sit on, and a news page where the news pane goes (seen when no browser runs).
sample_pictures::Picture Background();

// One state of a command button, the size of its place, with its caption drawn in.
sample_pictures::Picture ButtonPicture(const CommandButton& button, ButtonState state);

// The label beside a line's radio: its caption and a signal sign, on a transparent ground.
sample_pictures::Picture LineLabel(std::string_view caption);

// A line's radio is drawn by the system; its picture, side x side, only gives the control its
// size.
sample_pictures::Picture RadioPicture(int side);

}  // namespace sample_skin
