#include "skin/bitmap_button.h"

#include <algorithm>

#include "framework/message_handlers.h"
#include "platform/profile.h"
#include "skin/small_variant.h"

constexpr MessageMapEntry oBitmapBTN::messageEntries[] = {
    Message<WM_ERASEBKGND, &oBitmapBTN::OnEraseBkgnd>(),
};
constinit const MessageMap oBitmapBTN::messageMap{&CButton::messageMap, messageEntries};

namespace {
constexpr std::size_t kImageNameBuffer = 512;
}  // namespace

const MessageMap* oBitmapBTN::GetMessageMap() const { return &messageMap; }

bool oBitmapBTN::LoadSkin(const std::string& section, const std::string& skinFile, bool half) {
  platform::ProfileReader skin(skinFile);
  int x = skin.Int(section, "X", -1);
  int y = skin.Int(section, "Y", -1);
  if (x == -1 || y == -1) {
    ShowWindow(SW_HIDE);
    return true;
  }
  std::string down = skin.String(section, "imaged", "", kImageNameBuffer);
  std::string normal = skin.String(section, "imagen", "", kImageNameBuffer);
  std::string focus = skin.String(section, "imageh", "", kImageNameBuffer);
  std::string disabled = skin.String(section, "imagex", "", kImageNameBuffer);
  if (half) {
    down = SmallVariantName(down);
    normal = SmallVariantName(normal);
    focus = SmallVariantName(focus);
    disabled = SmallVariantName(disabled);
    x >>= 1;  // arithmetic: -3 becomes -2
    y >>= 1;
  }
  if (!LoadImageSlot(down, m_imageDown) || !LoadImageSlot(normal, m_imageNormal) ||
      !LoadImageSlot(focus, m_imageFocus) || !LoadImageSlot(disabled, m_imageDisabled)) {
    return false;
  }
  // No window to insert after: each call raises the button above its siblings.
  SetWindowPos(nullptr, 0, 0, m_maxWidth, m_maxHeight, SWP_NOOWNERZORDER | SWP_NOMOVE);
  SetWindowPos(nullptr, x, y, 0, 0, SWP_NOOWNERZORDER | SWP_NOSIZE);
  InvalidateRect(nullptr, TRUE);
  return true;
}

bool oBitmapBTN::LoadImageSlot(const std::string& name, CImage& image) {
  if (name.empty()) return true;
  if (!image.Load(name)) return false;
  m_maxHeight = std::max(m_maxHeight, image.GetHeight());
  m_maxWidth = std::max(m_maxWidth, image.GetWidth());
  // Every button picture is drawn by alpha; one without alpha is drawn opaque all the same.
  image.SetHasAlphaChannel(true);
  return true;
}

void oBitmapBTN::DrawItem(DRAWITEMSTRUCT* item) {
  UINT state = item->itemState;
  const CImage& image = (state & ODS_DISABLED) != 0   ? m_imageDisabled
                        : (state & ODS_SELECTED) != 0 ? m_imageDown
                        : (state & ODS_FOCUS) != 0    ? m_imageFocus
                                                      : m_imageNormal;
  image.Draw(item->hDC, 0, 0, image.GetWidth(), image.GetHeight(), 0, 0, image.GetWidth(),
             image.GetHeight());
}

BOOL oBitmapBTN::OnEraseBkgnd(CDC*) { return TRUE; }
