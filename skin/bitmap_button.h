#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/controls.h"
#include "framework/dc.h"
#include "skin/image.h"

// A skinned button: it draws one of four pictures by its state, blended over what lies under
// it (normally the dialog's background), takes its size from the largest picture it has
// loaded and its place from a section of the skin file. Bound to a control of the dialog's
// template; only a control with BS_OWNERDRAW is drawn from the pictures.
class oBitmapBTN : public CButton {
 public:
  // Places the button and loads its pictures from the section ("X", "Y", "imaged", "imagen",
  // "imageh", "imagex"). X or Y of -1 hides the button and succeeds. In half-size mode the
  // place is halved and the pictures' small variants are loaded. False at the first picture
  // that does not load; the button then keeps its size and place.
  bool LoadSkin(const std::string& section, const std::string& skinFile, bool half);
  // Loads one picture into one of the four slots; an empty name keeps the slot as it is.
  bool LoadImageSlot(const std::string& name, CImage& image);

  void DrawItem(DRAWITEMSTRUCT* item) override;

  CImage m_imageDown;      // pressed
  CImage m_imageNormal;    // none of the others
  CImage m_imageFocus;     // focused, neither pressed nor disabled
  CImage m_imageDisabled;  // disabled
  // The largest picture loaded so far: they only grow.
  std::int32_t m_maxWidth = 0;
  std::int32_t m_maxHeight = 0;

 protected:
  // The button never clears its own area: its pictures are blended over the background.
  BOOL OnEraseBkgnd(CDC* dc);

  const MessageMap* GetMessageMap() const override;
  static const MessageMap messageMap;
  static const MessageMapEntry messageEntries[];
};
