#pragma once

#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include "skin/bitmap_button.h"
#include "skin/bitmap_dialog.h"
#include "testbed/windows/test_dialogs.h"
#include "testbed/windows/window_checks.h"

// A skinned dialog of the test templates with its two picture buttons bound, open without a
// modal loop so the test drives it.
class SkinnedTestDialog : public CBitmapDialog {
 public:
  explicit SkinnedTestDialog(UINT templateId = IDD_BORDERLESS)
      : CBitmapDialog(templateId, nullptr) {}

  // Opens it at (40, 40) of the screen with a client area of width x height; hidden until shown.
  bool Open(int width, int height) {
    InitCommonControls();
    if (!Create()) return false;
    SetWindowPos(nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetClientSize(m_hWnd, width, height);
    return true;
  }

  // The offset of the client area inside the window.
  POINT ClientOffset() const {
    RECT window{};
    GetWindowRect(&window);
    POINT origin{0, 0};
    ClientToScreen(&origin);
    return {origin.x - window.left, origin.y - window.top};
  }

  oBitmapBTN picture;  // IDC_PICTURE_BUTTON
  oBitmapBTN second;   // IDC_SECOND_BUTTON, in the borderless template only

 protected:
  void DoDataExchange(CDataExchange* exchange) override {
    DDX_Control(exchange, IDC_PICTURE_BUTTON, picture);
    if (GetDlgItem(IDC_SECOND_BUTTON).m_hWnd != nullptr) {
      DDX_Control(exchange, IDC_SECOND_BUTTON, second);
    }
  }
};
