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

  const MessageMap* GetMessageMap() const override;
  static const MessageMap messageMap;
  static const MessageMapEntry messageEntries[];

 private:
  HCURSOR OnQueryDragIcon();
  void OnQuit();

  HICON m_hIcon;
  PatchWorker m_job;
};
