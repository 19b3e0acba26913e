// The program's own boxes as the system shows them: no owner window, the executable's name as
// caption, one button, and an icon only where the message has one.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "platform/prompt.h"
#include "tests/support/scripted_prompt.h"

namespace {

struct SeenBox {
  bool found = false;
  std::string caption;
  HWND owner = nullptr;
  int buttons = 0;
  int icons = 0;
};

// The first dialog window of this process, as a message box is one.
HWND BoxOfThisProcess() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND window, LPARAM result) -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char kind[32] = {};
        GetClassNameA(window, kind, sizeof(kind));
        if (process != GetCurrentProcessId() || std::string(kind) != "#32770") return TRUE;
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Waits for the box, reads it back and presses its OK.
SeenBox LookAtBoxAndPressOk() {
  SeenBox seen;
  HWND box = nullptr;
  for (int i = 0; i < 100 && box == nullptr; ++i, Sleep(50)) box = BoxOfThisProcess();
  if (box == nullptr) return seen;
  seen.found = true;
  char caption[256] = {};
  GetWindowTextA(box, caption, sizeof(caption));
  seen.caption = caption;
  seen.owner = GetWindow(box, GW_OWNER);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char kind[32] = {};
    GetClassNameA(child, kind, sizeof(kind));
    if (std::string(kind) == "Button" && IsWindowVisible(child)) ++seen.buttons;
    if (std::string(kind) == "Static" && SendMessageA(child, STM_GETICON, 0, 0) != 0) ++seen.icons;
  }
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return seen;
}

TEST(AppMessageTest, RealBoxHasTheExecutablesNameOneButtonAndOnlyTheIconAskedFor) {
  platform::SetPromptHook({});
  const struct {
    const char* text;
    unsigned style;
    int icons;
  } boxes[] = {
      {"Error in Minigzip: failed fwrite", platform::kBoxOk, 0},
      {"Cannot create directory.\ndata\\", platform::kBoxOk | platform::kBoxIconExclamation, 1},
  };
  for (const auto& box : boxes) {
    SCOPED_TRACE(box.text);
    SeenBox seen;
    std::thread closer([&] { seen = LookAtBoxAndPressOk(); });
    const int answer = platform::ShowAppMessage(box.text, box.style);
    closer.join();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.caption, "app_message_test") << "the executable's name";
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_EQ(seen.icons, box.icons);
  }
  RefuseUnexpectedBoxes();
}

}  // namespace
