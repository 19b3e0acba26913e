#include "window/main_dialog.h"

#include "resources/resource.h"

CVeldrinDlg::CVeldrinDlg()
    : CDialog(IDD_VELDRIN_DIALOG),
      m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

BOOL CVeldrinDlg::OnInitDialog() {
  SetWindowTextA(m_hWnd, "Patch Client");
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  return TRUE;
}

bool CVeldrinDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (message == WM_QUERYDRAGICON) {
    result = reinterpret_cast<INT_PTR>(m_hIcon);
    return true;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
      (LOWORD(wParam) == IDC_BUTTON_QUIT || LOWORD(wParam) == IDC_BUTTON_CLOSE)) {
    OnQuit();
    result = TRUE;
    return true;
  }
  return CDialog::OnMessage(message, wParam, lParam, result);
}

void CVeldrinDlg::OnQuit() {
  m_job.Stop();
  EndDialog(2);
}
