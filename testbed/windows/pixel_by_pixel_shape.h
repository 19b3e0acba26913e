#pragma once

#include <windows.h>

// The window shape built the plain way, to hold the fast one against: the frame (window minus
// client area), then for every background pixel over the client area one GetPixel, and one
// CombineRgn per run of pixels that are not the key colour. In window coordinates.
HRGN PixelByPixelShape(HWND window, HBITMAP background, COLORREF keyColor);
