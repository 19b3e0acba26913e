// The dialog framework over real windows: message maps, control binding, modal runs, boxes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/message_handlers.h"
#include "platform/prompt.h"
#include "testbed/windows/test_dialogs.h"
#include "testbed/windows/window_checks.h"
#include "tests/support/scripted_prompt.h"

namespace {

// A control class with a handler of its own, to see that binding puts its map in front.
class CountingButton : public CButton {
 public:
  void DrawItem(DRAWITEMSTRUCT* item) override { drawnStates.push_back(item->itemState); }

  int erases = 0;
  std::vector<UINT> drawnStates;

 protected:
  BOOL OnEraseBkgnd(CDC*) {
    ++erases;
    return TRUE;
  }
  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageMap messageMap;
  static const MessageMapEntry messageEntries[];
};
constexpr MessageMapEntry CountingButton::messageEntries[] = {
    Message<WM_ERASEBKGND, &CountingButton::OnEraseBkgnd>(),
};
constinit const MessageMap CountingButton::messageMap{&CButton::messageMap, messageEntries};

// A base dialog and a derived one that maps one of the base's messages again.
class BaseDialog : public CDialog {
 public:
  BaseDialog() : CDialog(IDD_BORDERLESS) {}

  std::vector<std::string> calls;
  CountingButton button;
  UINT_PTR endOnTimer = 0;  // a timer id that ends a modal run with that id as the result

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (endOnTimer != 0) SetTimer(endOnTimer, 10);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* exchange) override {
    DDX_Control(exchange, IDC_PICTURE_BUTTON, button);
  }
  void OnTimer(UINT_PTR id) {
    calls.push_back("base timer");
    if (id == endOnTimer) EndDialog(static_cast<INT_PTR>(id));
  }
  void OnButtonClicked() { calls.push_back("base click"); }

  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageMap messageMap;
  static const MessageMapEntry messageEntries[];
};
constexpr MessageMapEntry BaseDialog::messageEntries[] = {
    Message<WM_TIMER, &BaseDialog::OnTimer>(),
    Command<IDC_PICTURE_BUTTON, &BaseDialog::OnButtonClicked>(),
};
constinit const MessageMap BaseDialog::messageMap{&CDialog::messageMap, messageEntries};

class DerivedDialog : public BaseDialog {
 protected:
  void OnSize(UINT, int, int) { calls.push_back("derived size"); }
  void OnDerivedTimer(UINT_PTR) { calls.push_back("derived timer"); }

  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageMap messageMap;
  static const MessageMapEntry messageEntries[];
};
constexpr MessageMapEntry DerivedDialog::messageEntries[] = {
    Message<WM_SIZE, &DerivedDialog::OnSize>(),
    Message<WM_TIMER, &DerivedDialog::OnDerivedTimer>(),
};
constinit const MessageMap DerivedDialog::messageMap{&BaseDialog::messageMap, messageEntries};

TEST(MessageMapTest, DerivedClassFirstThenBaseThenTheDefaultDialogHandling) {
  DerivedDialog dialog;
  ASSERT_TRUE(dialog.Create());
  dialog.calls.clear();

  dialog.SendMessage(WM_TIMER, 5);
  dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PICTURE_BUTTON, BN_CLICKED));
  // Another notification of the same control is no click.
  dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PICTURE_BUTTON, BN_SETFOCUS));
  EXPECT_EQ(dialog.calls, (std::vector<std::string>{"derived timer", "base click"}));
  // No map takes DM_GETDEFID: the system's dialog handling answers it.
  EXPECT_EQ(HIWORD(dialog.SendMessage(DM_GETDEFID)), DC_HASDEFID);
}

TEST(ControlBindingTest, BoundControlTakesItsOwnMessagesAndItsOwnerDraw) {
  BaseDialog dialog;
  ASSERT_TRUE(dialog.Create());
  HWND buttonWindow = GetDlgItem(dialog.m_hWnd, IDC_PICTURE_BUTTON);
  ASSERT_EQ(dialog.button.m_hWnd, buttonWindow);
  EXPECT_EQ(CWnd::FromHandlePermanent(buttonWindow), &dialog.button);

  HDC screen = GetDC(nullptr);
  SendMessageA(buttonWindow, WM_ERASEBKGND, reinterpret_cast<WPARAM>(screen), 0);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(dialog.button.erases, 1);

  // The system's own owner-draw request, when the button paints, reaches the object.
  dialog.ShowWindow(SW_SHOWNOACTIVATE);
  EnableWindow(buttonWindow, FALSE);
  PaintNow(dialog.m_hWnd);
  ASSERT_FALSE(dialog.button.drawnStates.empty());
  EXPECT_NE(dialog.button.drawnStates.back() & ODS_DISABLED, 0u);

  dialog.DestroyWindow();
  EXPECT_EQ(dialog.button.m_hWnd, nullptr);
  EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST(ModalDialogTest, RunsUntilEndDialogAndGivesItsResult) {
  BaseDialog timed;
  timed.endOnTimer = 42;
  EXPECT_EQ(timed.DoModal(), 42);
  EXPECT_EQ(timed.m_hWnd, nullptr);

  // Escape's command reaches OnCancel, whose default ends the dialog.
  class EscapedDialog : public BaseDialog {
    BOOL OnInitDialog() override {
      PostMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
      return BaseDialog::OnInitDialog();
    }
  } escaped;
  EXPECT_EQ(escaped.DoModal(), IDCANCEL);
}

TEST(MessageBoxTest, ScriptedBoxCarriesTheApplicationNameAndOnlyOk) {
  BaseDialog dialog;
  ASSERT_TRUE(dialog.Create());
  ScriptedPrompt prompt;
  prompt.Then(platform::kAnswerOk);
  EXPECT_EQ(dialog.MessageBox("Error please select patch zone"), platform::kAnswerOk);
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].text, "Error please select patch zone");
  EXPECT_EQ(prompt.Shown()[0].caption, "framework_test");
  EXPECT_EQ(prompt.Shown()[0].style, static_cast<unsigned>(MB_OK));
}

// The real box, closed by a second thread once it has looked at it.
TEST(MessageBoxTest, RealBoxIsOwnedByTheDialogWithOneButtonAndNoIcon) {
  BaseDialog dialog;
  ASSERT_TRUE(dialog.Create());
  dialog.ShowWindow(SW_SHOWNOACTIVATE);
  platform::SetPromptHook({});

  std::atomic<HWND> owner{nullptr};
  std::atomic<int> buttons{0}, icons{0};
  std::thread closer([&] {
    HWND box = nullptr;
    for (int i = 0; i < 100 && box == nullptr; ++i, Sleep(50)) {
      box = FindWindowA("#32770", "framework_test");
    }
    if (box == nullptr) return;
    owner = GetWindow(box, GW_OWNER);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      char kind[32] = {};
      GetClassNameA(child, kind, sizeof(kind));
      if (std::string(kind) == "Button" && IsWindowVisible(child)) ++buttons;
      if (std::string(kind) == "Static" && SendMessageA(child, STM_GETICON, 0, 0) != 0) ++icons;
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  int answer = dialog.MessageBox("Error Execute file not found!");
  closer.join();
  RefuseUnexpectedBoxes();

  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(owner.load(), dialog.m_hWnd);
  EXPECT_EQ(buttons.load(), 1);
  EXPECT_EQ(icons.load(), 0);
}

}  // namespace
