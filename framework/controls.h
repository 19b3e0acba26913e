#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>

#include "framework/wnd.h"

// The standard controls, bound to the dialog's own controls by DDX_Control.
class CButton : public CWnd {
 public:
  void SetCheck(int check) const { SendMessage(BM_SETCHECK, check); }
  // Draws an owner-drawn button (BS_OWNERDRAW); the parent passes WM_DRAWITEM on to here.
  virtual void DrawItem(DRAWITEMSTRUCT* item);

 protected:
  bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class CStatic : public CWnd {};

class CProgressCtrl : public CWnd {
 public:
  void SetRange32(int lower, int upper) const { SendMessage(PBM_SETRANGE32, lower, upper); }
  int SetPos(int position) const { return static_cast<int>(SendMessage(PBM_SETPOS, position)); }
  COLORREF SetBarColor(COLORREF color) const {
    return static_cast<COLORREF>(SendMessage(PBM_SETBARCOLOR, 0, color));
  }
  COLORREF SetBkColor(COLORREF color) const {
    return static_cast<COLORREF>(SendMessage(PBM_SETBKCOLOR, 0, color));
  }
};

class CComboBox : public CWnd {
 public:
  // The index of the new item, at the end of an unsorted list.
  int AddString(const std::string& text) const {
    return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
  }
};
