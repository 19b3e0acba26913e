#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "framework/bitmap.h"
#include "framework/dc.h"
#include "framework/dialog.h"

// A dialog painted from one background picture, whose outline is cut out of that picture by
// a key colour, whose static texts let the picture show through, and which can be dragged by
// its surface. The owner loads the background, then switches the features on.
class CBitmapDialog : public CDialog {
 public:
  CBitmapDialog(UINT templateId, CWnd* parent);
  ~CBitmapDialog() override;

  // Makes the picture in the file the background and rebuilds the shape. FALSE when the file
  // cannot be loaded or copied; the dialog then has no background.
  BOOL LoadBackground(const std::string& path);
  // Makes a private copy of the bitmap the background and rebuilds the shape.
  BOOL SetBackground(HBITMAP source);
  void ReleaseBackground();
  // The shape from the flags, key colour and background as they are now, applied with redraw.
  void UpdateWindowShape();

  // Non-zero: background pixels of m_keyColor lie outside the window. 0: a plain rectangle.
  std::int32_t m_shapeFromBackground = 0;
  // Non-zero: static-kind controls get a transparent text background and the null brush.
  std::int32_t m_transparentStatics = 1;
  HBRUSH m_nullBrush;  // a stock object: never deleted
  COLORREF m_keyColor = 0;
  // Non-zero: a left-button press on the dialog's own surface moves the window.
  std::int32_t m_dragAnywhere = 0;
  std::int32_t m_ownsBackground = 0;  // set and cleared together with m_hasBackground
  std::int32_t m_hasBackground = 0;
  // A 32-bit DIB section, which holds any picture's pixels exactly and whose bits the shape
  // is read from.
  std::unique_ptr<CBitmap> m_background;

 protected:
  BOOL OnEraseBkgnd(CDC* dc);
  void OnLButtonDown(UINT flags, POINT point);
  HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind);

  const MessageMap* GetMessageMap() const override;
  static const MessageMap messageMap;
  static const MessageMapEntry messageEntries[];

 private:
  HRGN BackgroundShape(const RECT& window, const RECT& client) const;
};
