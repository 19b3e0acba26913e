// The skin of patch.sys applied to the main window, or the plain window when it cannot be.
#include <windows.h>
// After windows.h, which it needs.
#include <uxtheme.h>

#include <string>

#include "platform/files.h"
#include "platform/profile.h"
#include "resources/resource.h"
#include "skin/small_variant.h"
#include "window/main_dialog.h"

namespace {
constexpr int kFallbackWidth = 600;
constexpr int kFallbackHeight = 150;
constexpr int kWaitingTextId = -1;
constexpr std::size_t kImageNameSize = 1024;
constexpr std::size_t kZoneNameSize = 128;

COLORREF ColorOf(int red, int green, int blue) {
  return RGB(red & 0xFF, green & 0xFF, blue & 0xFF);
}
}  // namespace

int CVeldrinDlg::SkinInt(const std::string& section, const std::string& key, int fallback) const {
  int value = platform::ProfileReader(m_patchSysPath).Int(section, key, fallback);
  return m_smallScreen ? value >> 1 : value;
}

// Each control placed rises to the top of its siblings, so the order of loading is the
// stacking order, bottom to top.
void CVeldrinDlg::LoadSkinLayout() {
  if (!platform::PathExists("Patch.sys")) return FallBackToPlainWindow();
  platform::ProfileReader skin(m_patchSysPath);
  std::string image = skin.String("layout", "image", "patch_bg01.bmp", kImageNameSize);
  if (m_smallScreen) image = SmallVariantName(image);
  if (!LoadBackground(image)) return FallBackToPlainWindow();

  for (int line = 8; line >= 1; --line) {
    std::string section = "Radio" + std::to_string(line);
    if (!m_lineRadios[line - 1].LoadSkin(section, m_patchSysPath, m_smallScreen)) {
      return FallBackToPlainWindow();
    }
  }
  for (int line = 8; line >= 1; --line) {
    std::string section = "RadioDDX" + std::to_string(line);
    if (!m_lineLabels[line - 1].LoadSkin(section, m_patchSysPath, m_smallScreen)) {
      return FallBackToPlainWindow();
    }
  }
  for (int button = 10; button >= 1; --button) {
    std::string section = "Button" + std::to_string(button);
    if (!m_commandButtons[button - 1].LoadSkin(section, m_patchSysPath, m_smallScreen)) {
      return FallBackToPlainWindow();
    }
  }
  ApplyProgressStyle(m_progress1, "Progress1");
  ApplyProgressStyle(m_progress2, "Progress2");
  PlaceStatic(m_texts[0], "static1");
  PlaceStatic(m_texts[2], "static2");
  PlaceStatic(m_texts[1], "static3");
  PlaceStatic(m_texts[3], "static4");
  FillZoneCombo();
  GetDlgItem(kWaitingTextId).ShowWindow(SW_HIDE);

  BITMAP background{};
  m_background->GetBitmap(&background);
  SetWindowPos(nullptr, 0, 0, background.bmWidth, background.bmHeight,
               SWP_NOOWNERZORDER | SWP_NOMOVE);
  m_shapeFromBackground = 1;
  m_keyColor =
      ColorOf(skin.Int("layout", "R", 0), skin.Int("layout", "G", 0), skin.Int("layout", "B", 0));
  UpdateWindowShape();
  m_transparentStatics = 1;
  m_dragAnywhere = 1;

  m_lineRadios[0].SetCheck(BST_CHECKED);
  m_operator = 0;
  m_line = 1;
  m_started = false;
  m_autoStart = false;
  for (int line = 3; line <= 8; ++line) m_lineRadios[line - 1].ShowWindow(SW_HIDE);
  for (int line = 3; line <= 8; ++line) m_lineLabels[line - 1].ShowWindow(SW_HIDE);
}

void CVeldrinDlg::FallBackToPlainWindow() {
  ReleaseBackground();
  SetWindowPos(nullptr, 0, 0, kFallbackWidth, kFallbackHeight, SWP_NOOWNERZORDER | SWP_NOMOVE);
  // A background loaded before the failure left its rectangle as the window's shape, which
  // would cut the plain window: the shape follows the new size.
  UpdateWindowShape();
  for (oBitmapBTN& button : m_commandButtons) button.ShowWindow(SW_HIDE);
  m_zoneCombo.ShowWindow(SW_HIDE);
  m_autoStart = true;
}

void CVeldrinDlg::ApplyProgressStyle(CProgressCtrl& control, const std::string& section) {
  platform::ProfileReader skin(m_patchSysPath);
  // A bar drawn in the system's visual style ignores the colours: the skin's must show. A
  // class name of no style switches the style off (an empty one is refused by some systems).
  SetWindowTheme(control.m_hWnd, L" ", L" ");
  control.SetBarColor(
      ColorOf(skin.Int(section, "FR", 0), skin.Int(section, "FG", 0), skin.Int(section, "FB", 0)));
  control.SetBkColor(
      ColorOf(skin.Int(section, "BR", 0), skin.Int(section, "BG", 0), skin.Int(section, "BB", 0)));
  control.SetWindowPos(nullptr, SkinInt(section, "X", 0), SkinInt(section, "Y", 0),
                       SkinInt(section, "cX", 0), SkinInt(section, "cY", 0), SWP_NOOWNERZORDER);
}

void CVeldrinDlg::PlaceStatic(CStatic& control, const std::string& section) {
  control.SetWindowPos(nullptr, SkinInt(section, "X", 0), SkinInt(section, "Y", 0), 0, 0,
                       SWP_NOOWNERZORDER | SWP_NOSIZE);
}

// The -1 test comes before the halving, so a small screen's -1 still hides the box.
void CVeldrinDlg::FillZoneCombo() {
  platform::ProfileReader skin(m_patchSysPath);
  int x = skin.Int("Combo", "x", -1);
  int y = skin.Int("Combo", "y", -1);
  if (x == -1 || y == -1) {
    m_zoneCombo.ShowWindow(SW_HIDE);
    return;
  }
  int shift = m_smallScreen ? 1 : 0;
  m_zoneCombo.SetWindowPos(nullptr, x >> shift, y >> shift, SkinInt("Combo", "cx", 0),
                           SkinInt("Combo", "cy", 0), SWP_NOOWNERZORDER);
  for (int number = 1;; ++number) {
    std::string zone = skin.String("Combo", "Zone" + std::to_string(number), "", kZoneNameSize);
    if (zone.empty()) return;
    m_zoneCombo.AddString(zone);
  }
}
