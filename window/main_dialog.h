#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/patch_job.h"
#include "framework/controls.h"
#include "platform/handles_win32.h"
#include "skin/bitmap_button.h"
#include "skin/bitmap_dialog.h"
#include "window/status_texts.h"
#include "window/webview2.h"

// The patcher's one window: the skin, the player's choices, the start of the patch worker, the
// poll of its progress and its end, the link and window buttons, and the news pane. It owns
// the job record shared with the worker. Members are destroyed in reverse order, so the
// controls go first, the news pane's view before its controller, the background last.
class CVeldrinDlg : public CBitmapDialog {
 public:
  CVeldrinDlg();
  ~CVeldrinDlg() override;

  HICON m_hIcon;
  platform::ComRef<ICoreWebView2Controller> m_webViewController;
  platform::ComRef<ICoreWebView2> m_webView;
  // Buttons 1000, 1001, 1002, 1003, 1013, 1014, 1015, 1016, 1017, 1018 (sections Button1..10).
  oBitmapBTN m_commandButtons[10];
  oBitmapBTN m_lineLabels[8];  // 1033..1040, the pictures beside lines 1..8
  oBitmapBTN m_lineRadios[8];  // the radios of lines 1..8
  bool m_autoStart = false;
  bool m_steam = false;
  std::string m_patchSysPath;
  bool m_smallScreen = false;
  PatchWorker m_job;
  std::int32_t m_operator = 0;  // 0 DX, 1 WT
  std::int32_t m_line = 0;      // 1..8; 0 until the skin has loaded
  CStatic m_texts[4];           // 1004..1007
  CProgressCtrl m_progress1;    // the stage's bytes
  CProgressCtrl m_progress2;    // the stage
  CComboBox m_zoneCombo;
  bool m_started = false;

  // What the worker thread runs; tests put a scripted worker here before the window opens.
  PatchWorker::Routine m_workerRoutine;

  // Called back by the news pane's browser component, on this window's thread.
  HRESULT OnNewsEnvironmentCreated(HRESULT result, ICoreWebView2Environment* environment,
                                   HWND placeholder);
  HRESULT OnNewsControllerCreated(HRESULT result, ICoreWebView2Controller* controller);

 protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;
  // Enter, Escape and Alt+F4 do nothing: the window ends by its own buttons or end states.
  void OnOK() override {}
  void OnCancel() override {}

  const MessageMap* GetMessageMap() const override;
  static const MessageMap messageMap;
  static const MessageMapEntry messageEntries[];

 private:
  static constexpr UINT_PTR kPollTimer = 1;

  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnTimer(UINT_PTR id);
  void OnSize(UINT type, int cx, int cy);
  void CenterOnWorkArea();

  // skin_layout.cpp
  void LoadSkinLayout();
  void FallBackToPlainWindow();
  void ApplyProgressStyle(CProgressCtrl& control, const std::string& section);
  void PlaceStatic(CStatic& control, const std::string& section);
  void FillZoneCombo();
  int SkinInt(const std::string& section, const std::string& key, int fallback) const;

  // patch_start.cpp
  void OnStartCommand();
  void OnPollTimer();
  void StopWorker();
  void StartGame();
  void WriteChoiceFiles() const;

  // status_display.cpp
  void ShowStatus(const PatchSnapshot& seen);
  void ReplaceText(CStatic& control, const std::string& text);

  // selection.cpp
  void OnOperatorDX();
  void OnOperatorWT();
  void SwitchOperator(std::int32_t chosen, const char* labelSections, bool lineTwoShown);
  void ChooseLine(std::int32_t line);
  template <std::int32_t line>
  void OnLine() {
    ChooseLine(line);
  }

  // link_buttons.cpp
  void OnRegisterLink();
  void OnRechargeLink();
  void OnSecondLink();
  void OpenLink(const char* section, bool steamKey) const;
  void OnMinimize();
  void OnQuit();

  // news_pane.cpp
  void StartNewsPane(HWND placeholder);
  void FitNewsPane();

  StatusTexts m_statusTexts;
};
