#pragma once

#include <string>

#include "engine/patch_job.h"
#include "framework/dialog.h"

// The patcher's one window. It owns the job record shared with the patch worker.
class CVeldrinDlg : public CDialog {
 public:
  CVeldrinDlg();

  bool m_steam = false;
  std::string m_patchSysPath;

 protected:
  BOOL OnInitDialog() override;
  // Enter and Escape do nothing: the window ends by its own buttons or its end states.
  void OnOK() override {}
  void OnCancel() override {}
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void OnQuit();

  HICON m_hIcon;
  PatchWorker m_job;
};
