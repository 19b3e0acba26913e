#pragma once

#include <windows.h>

#include <string>

#include "platform/handles_win32.h"

// A skin picture: one image file decoded by GDI+ into a DIB section. Pictures with an alpha
// channel become 32-bit DIBs keeping their decoded (straight) colours, which is what the
// bitmap handle gives; indexed ones keep their palette; others become 24-bit.
//
// Drawing with the alpha flag is true source-over: the picture is blended from a copy whose
// colours are premultiplied by their alpha, as AlphaBlend requires, so alpha 0 leaves the
// target as it was whatever colour the file stores there. A picture whose file has no alpha
// channel is drawn opaque even with the flag set.
class CImage {
 public:
  // Every image object keeps the decoder runtime alive: the last one destroyed stops it.
  CImage();
  ~CImage();

  // Decodes the file (its name in the ANSI code page), replacing the picture held before.
  // False when the decoder cannot start, the file is missing or no picture the decoder
  // reads, or its pixels cannot be held; the object is then empty.
  bool Load(const std::string& path);
  void Destroy();

  bool IsNull() const { return !m_bitmap; }
  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }
  int GetBPP() const { return m_bitsPerPixel; }
  bool HasAlphaChannel() const { return m_hasAlphaChannel; }
  // Chooses the drawing mode: blended by alpha, or an opaque copy.
  void SetHasAlphaChannel(bool hasAlpha) { m_hasAlphaChannel = hasAlpha; }
  HBITMAP GetHandle() const { return m_bitmap.get(); }

  // Draws the source rectangle of the picture into the destination one; false for an empty
  // picture or a failed draw.
  bool Draw(HDC target, int x, int y, int width, int height, int sourceX, int sourceY,
            int sourceWidth, int sourceHeight) const;

 private:
  platform::OwnedBitmap m_bitmap;
  // The premultiplied copy, for pictures whose file has alpha.
  platform::OwnedBitmap m_blended;
  int m_width = 0;
  int m_height = 0;
  int m_bitsPerPixel = 0;
  bool m_hasAlphaChannel = false;
};

// Whether GDI+ is running in this process (for the tests of its lifetime).
bool ImageDecoderRunning();
