// The buttons that open the operator's web pages, minimise and quit.
#include "platform/profile.h"
#include "platform/shell.h"
#include "window/main_dialog.h"

namespace {
constexpr std::size_t kLinkSize = 1024;
constexpr INT_PTR kEndedByQuit = 2;
}  // namespace

void CVeldrinDlg::OnRegisterLink() { OpenLink("Button1", m_steam); }

void CVeldrinDlg::OnRechargeLink() { OpenLink("Button2", m_steam); }

void CVeldrinDlg::OnSecondLink() { OpenLink("Button6", false); }

// A copy started from the store has pages of its own, under "lnk2"; there is no fallback to
// the other key.
void CVeldrinDlg::OpenLink(const char* section, bool steamKey) const {
  std::string link = platform::ProfileReader(m_patchSysPath)
                         .String(section, steamKey ? "lnk2" : "lnk", "", kLinkSize);
  if (!link.empty()) platform::ShellOpen(link);
}

void CVeldrinDlg::OnMinimize() { PostMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0); }

void CVeldrinDlg::OnQuit() {
  StopWorker();
  EndDialog(kEndedByQuit);
}
