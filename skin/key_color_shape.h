#pragma once

#include <windows.h>

#include <cstdint>

#include "skin/dib.h"

// The region of every pixel of the top-left `width` x `height` of `pixels` whose colour is not
// `keyColor` (0x00BBGGRR; alpha is ignored), moved by `offset`: read from the DIB's own bits
// in runs, and built band by band. Null when the system cannot make it.
HRGN KeyColorShape(const DibPixels& pixels, int width, int height, COLORREF keyColor, POINT offset);
