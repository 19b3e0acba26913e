#include "framework/dialog.h"

INT_PTR CDialog::DoModal() {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), nullptr,
                         &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

bool CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
  if (LOWORD(wParam) == IDOK) {
    OnOK();
  } else if (LOWORD(wParam) == IDCANCEL) {
    OnCancel();
  } else {
    return false;
  }
  result = TRUE;
  return true;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    dialog->m_hWnd = window;
    return dialog->OnInitDialog();
  }
  auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  if (dialog == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    dialog->m_hWnd = nullptr;
    return FALSE;
  }
  INT_PTR result = FALSE;
  return dialog->OnMessage(message, wParam, lParam, result) ? result : FALSE;
}
