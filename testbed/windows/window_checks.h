#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/handles_win32.h"
#include "testbed/skin/sample_pictures.h"

// What the Windows tests read back from real windows: regions, pixels on the screen.

// Handles every message waiting for this thread's windows.
void PumpMessages();

// Paints the window and its children now, and lets the display catch up.
void PaintNow(HWND window);

// Sizes a window so that its client area is width x height, keeping its place.
void SetClientSize(HWND window, int width, int height);

// The rectangles of a window's shape (GetWindowRgn and GetRegionData), in window
// coordinates; none when the window has no shape of its own.
std::vector<RECT> WindowShape(HWND window);
bool ShapeContains(const std::vector<RECT>& shape, int x, int y);

// A 32-bit surface filled with one colour, to draw on and read back.
class Surface {
 public:
  Surface(int width, int height, sample_pictures::Rgba fill);

  HDC dc() const { return dc_.get(); }
  sample_pictures::Rgba At(int x, int y) const;
  sample_pictures::Picture ToPicture() const;

 private:
  int width_;
  int height_;
  platform::OwnedBitmap bitmap_;
  platform::OwnedMemoryDC dc_;
  platform::Selection selected_;
};

// The screen's pixels in the rectangle, as the user sees them; none when the screen cannot be
// read.
std::optional<sample_pictures::Picture> CopyScreen(const RECT& area);
// The same for checks, which compare it: all black when the screen cannot be read.
sample_pictures::Picture CaptureScreen(const RECT& area);

namespace sample_pictures {
// How the tests print a colour.
inline void PrintTo(const Rgba& colour, std::ostream* out) {
  *out << int{colour.red} << "," << int{colour.green} << "," << int{colour.blue} << " alpha "
       << int{colour.alpha};
}
}  // namespace sample_pictures

// With VELDRA_SCREENSHOTS set to a folder (a Windows path, Z:\... under Wine), writes the
// picture there as NAME.png for a person to look at.
void SaveScreenshot(const std::string& name, const sample_pictures::Picture& picture);
