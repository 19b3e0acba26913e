#include "window/main_dialog.h"

#include "framework/message_handlers.h"
#include "resources/resource.h"

constexpr MessageMapEntry CVeldrinDlg::messageEntries[] = {
    Message<WM_QUERYDRAGICON, &CVeldrinDlg::OnQueryDragIcon>(),
    Command<IDC_BUTTON_QUIT, &CVeldrinDlg::OnQuit>(),
    Command<IDC_BUTTON_CLOSE, &CVeldrinDlg::OnQuit>(),
};
constinit const MessageMap CVeldrinDlg::messageMap{&CDialog::messageMap, messageEntries};

CVeldrinDlg::CVeldrinDlg()
    : CDialog(IDD_VELDRIN_DIALOG),
      m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

const MessageMap* CVeldrinDlg::GetMessageMap() const { return &messageMap; }

BOOL CVeldrinDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText("Patch Client");
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  return TRUE;
}

HCURSOR CVeldrinDlg::OnQueryDragIcon() { return m_hIcon; }

void CVeldrinDlg::OnQuit() {
  m_job.Stop();
  EndDialog(2);
}
