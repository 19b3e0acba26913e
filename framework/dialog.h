#pragma once

#include <windows.h>

// A modal dialog from a template resource, in the dialog framework's shape: OnInitDialog,
// OnOK and OnCancel, and one dispatch function standing in for the message map.
class CDialog {
 public:
  explicit CDialog(UINT templateId) : m_templateId(templateId) {}
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  INT_PTR DoModal();
  void EndDialog(INT_PTR result);
  HWND GetSafeHwnd() const { return m_hWnd; }

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Returns true when the message was handled; `result` is then the dialog procedure's result.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

  HWND m_hWnd = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  UINT m_templateId;
};
