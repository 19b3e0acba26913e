#pragma once

#include <windows.h>

#include <optional>

#include "testbed/skin/sample_pictures.h"

// The screen's pixels in `area` as the display shows them, whatever lies on top; none when the
// area is empty or the system refuses the copy.
std::optional<sample_pictures::Picture> CaptureScreen(const RECT& area);
