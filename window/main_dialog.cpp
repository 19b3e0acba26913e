#include "window/main_dialog.h"

#include "engine/worker.h"
#include "framework/message_handlers.h"
#include "resources/resource.h"

namespace {
// A screen narrower than this, or no higher than kSmallScreenHeight, takes the half-size skin.
constexpr int kFullSkinWidth = 1920;
constexpr int kSmallScreenHeight = 600;
constexpr UINT_PTR kAutoStartTimer = 0;
constexpr UINT kAutoStartDelayMs = 1000;
}  // namespace

constexpr MessageMapEntry CVeldrinDlg::messageEntries[] = {
    Message<WM_PAINT, &CVeldrinDlg::OnPaint>(),
    Message<WM_QUERYDRAGICON, &CVeldrinDlg::OnQueryDragIcon>(),
    Command<IDC_BUTTON_REGISTER, &CVeldrinDlg::OnRegisterLink>(),
    Command<IDC_BUTTON_RECHARGE, &CVeldrinDlg::OnRechargeLink>(),
    Command<IDC_BUTTON_START, &CVeldrinDlg::OnStartCommand>(),
    Command<IDC_BUTTON_QUIT, &CVeldrinDlg::OnQuit>(),
    Command<IDC_BUTTON_CN1, &CVeldrinDlg::OnStartCommand>(),
    Command<IDC_BUTTON_CN2, &CVeldrinDlg::OnSecondLink>(),
    Command<IDC_BUTTON_DX, &CVeldrinDlg::OnOperatorDX>(),
    Command<IDC_BUTTON_WT, &CVeldrinDlg::OnOperatorWT>(),
    Command<IDC_BUTTON_MIN, &CVeldrinDlg::OnMinimize>(),
    Command<IDC_BUTTON_CLOSE, &CVeldrinDlg::OnQuit>(),
    Message<WM_TIMER, &CVeldrinDlg::OnTimer>(),
    Message<WM_SIZE, &CVeldrinDlg::OnSize>(),
    Command<IDC_RADIO_LINE1, &CVeldrinDlg::OnLine<1>>(),
    Command<IDC_RADIO_LINE2, &CVeldrinDlg::OnLine<2>>(),
    Command<IDC_RADIO_LINE3, &CVeldrinDlg::OnLine<3>>(),
    Command<IDC_RADIO_LINE4, &CVeldrinDlg::OnLine<4>>(),
    Command<IDC_RADIO_LINE5, &CVeldrinDlg::OnLine<5>>(),
    Command<IDC_RADIO_LINE6, &CVeldrinDlg::OnLine<6>>(),
    Command<IDC_RADIO_LINE7, &CVeldrinDlg::OnLine<7>>(),
    Command<IDC_RADIO_LINE8, &CVeldrinDlg::OnLine<8>>(),
};
constinit const MessageMap CVeldrinDlg::messageMap{&CBitmapDialog::messageMap, messageEntries};

CVeldrinDlg::CVeldrinDlg()
    : CBitmapDialog(IDD_VELDRIN_DIALOG, nullptr),
      m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_workerRoutine(PatchRoutine()) {}

CVeldrinDlg::~CVeldrinDlg() = default;

const MessageMap* CVeldrinDlg::GetMessageMap() const { return &messageMap; }

void CVeldrinDlg::DoDataExchange(CDataExchange* exchange) {
  CBitmapDialog::DoDataExchange(exchange);
  constexpr int firstCommands[] = {IDC_BUTTON_REGISTER, IDC_BUTTON_RECHARGE, IDC_BUTTON_START,
                                   IDC_BUTTON_QUIT,     IDC_BUTTON_CN1,      IDC_BUTTON_CN2,
                                   IDC_BUTTON_DX,       IDC_BUTTON_WT};
  for (int i = 0; i < 8; ++i) DDX_Control(exchange, firstCommands[i], m_commandButtons[i]);
  for (int i = 0; i < 8; ++i) DDX_Control(exchange, IDC_LINE_LABEL1 + i, m_lineLabels[i]);
  DDX_Control(exchange, IDC_BUTTON_MIN, m_commandButtons[8]);
  DDX_Control(exchange, IDC_BUTTON_CLOSE, m_commandButtons[9]);
  DDX_Control(exchange, IDC_STATIC_TEXT1, m_texts[0]);
  DDX_Control(exchange, IDC_STATIC_TEXT3, m_texts[1]);
  DDX_Control(exchange, IDC_STATIC_TEXT2, m_texts[2]);
  DDX_Control(exchange, IDC_STATIC_TEXT4, m_texts[3]);
  DDX_Control(exchange, IDC_PROGRESS1, m_progress1);
  DDX_Control(exchange, IDC_PROGRESS2, m_progress2);
  DDX_Control(exchange, IDC_COMBO_ZONE, m_zoneCombo);
  constexpr int radios[] = {IDC_RADIO_LINE1, IDC_RADIO_LINE2, IDC_RADIO_LINE3, IDC_RADIO_LINE4,
                            IDC_RADIO_LINE5, IDC_RADIO_LINE6, IDC_RADIO_LINE7, IDC_RADIO_LINE8};
  for (int i = 0; i < 8; ++i) DDX_Control(exchange, radios[i], m_lineRadios[i]);
}

BOOL CVeldrinDlg::OnInitDialog() {
  CBitmapDialog::OnInitDialog();
  int width = GetSystemMetrics(SM_CXSCREEN);
  int height = GetSystemMetrics(SM_CYSCREEN);
  m_smallScreen = width < kFullSkinWidth || height <= kSmallScreenHeight;

  HWND placeholder = GetDlgItem(IDC_BROWSER).m_hWnd;
  if (placeholder == nullptr) return TRUE;
  StartNewsPane(placeholder);
  SetWindowText("Patch Client");
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  LoadSkinLayout();
  CenterOnWorkArea();
  if (m_autoStart) SetTimer(kAutoStartTimer, kAutoStartDelayMs);
  return TRUE;
}

// The template puts the window at the screen's corner; a player expects it in the middle of
// the monitor it opens on, clear of the taskbar.
void CVeldrinDlg::CenterOnWorkArea() {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoA(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  RECT window{};
  GetWindowRect(&window);
  const RECT& work = monitor.rcWork;
  int x = work.left + (work.right - work.left - (window.right - window.left)) / 2;
  int y = work.top + (work.bottom - work.top - (window.bottom - window.top)) / 2;
  SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CVeldrinDlg::OnPaint() {
  if (!IsIconic(m_hWnd)) {
    Default();
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  int iconWidth = GetSystemMetrics(SM_CXICON);
  int iconHeight = GetSystemMetrics(SM_CYICON);
  RECT client{};
  GetClientRect(&client);
  DrawIcon(dc.GetSafeHdc(), (client.right - iconWidth + 1) / 2,
           (client.bottom - iconHeight + 1) / 2, m_hIcon);
}

HCURSOR CVeldrinDlg::OnQueryDragIcon() { return m_hIcon; }

void CVeldrinDlg::OnTimer(UINT_PTR id) {
  if (id == kAutoStartTimer) {
    KillTimer(kAutoStartTimer);
    OnStartCommand();
  } else if (id == kPollTimer) {
    OnPollTimer();
  }
  Default();
}

void CVeldrinDlg::OnSize(UINT, int, int) {
  Default();
  FitNewsPane();
}
