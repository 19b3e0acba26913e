#pragma once

#include <windows.h>

#include "platform/handles_win32.h"

// A bitmap the program made; it is deleted with the object.
class CBitmap {
 public:
  explicit CBitmap(HBITMAP bitmap) : m_bitmap(bitmap) {}

  HBITMAP GetSafeHandle() const { return m_bitmap.get(); }
  // The bitmap's size and format; false for none.
  bool GetBitmap(BITMAP* info) const {
    return m_bitmap && GetObjectA(m_bitmap.get(), sizeof(BITMAP), info) == sizeof(BITMAP);
  }

 private:
  platform::OwnedBitmap m_bitmap;
};
