#include "framework/dialog.h"

#include "framework/message_handlers.h"

constexpr MessageMapEntry CDialog::messageEntries[] = {
    Command<IDOK, &CDialog::OnOK>(),
    Command<IDCANCEL, &CDialog::OnCancel>(),
};
constinit const MessageMap CDialog::messageMap{&CWnd::messageMap, messageEntries};

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
  if (control.m_hWnd == nullptr) control.SubclassDlgItem(id, exchange->m_pDlgWnd);
}

CDialog::~CDialog() {
  // A dialog shown with Create and still open; its controls' objects are gone already and
  // have let go of their windows.
  HWND window = m_hWnd;
  UnsubclassWindow();
  if (window != nullptr) ::DestroyWindow(window);
}

const MessageMap* CDialog::GetMessageMap() const { return &messageMap; }

INT_PTR CDialog::DoModal() {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId),
                         m_parent != nullptr ? m_parent->m_hWnd : nullptr, &CDialog::DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create() {
  return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId),
                            m_parent != nullptr ? m_parent->m_hWnd : nullptr, &CDialog::DialogProc,
                            reinterpret_cast<LPARAM>(this)) != nullptr;
}

BOOL CDialog::UpdateData() {
  CDataExchange exchange(this);
  DoDataExchange(&exchange);
  return TRUE;
}

BOOL CDialog::OnInitDialog() { return UpdateData(); }

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

// From WM_INITDIALOG on, the dialog's own window procedure (CWnd) takes every message and
// hands what its maps leave to the system's dialog procedure, which asks here again: FALSE
// then lets the system do the default dialog handling.
INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  auto* dialog = reinterpret_cast<CDialog*>(lParam);
  if (!dialog->SubclassWindow(window)) return FALSE;
  return dialog->OnInitDialog();
}
