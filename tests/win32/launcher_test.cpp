// The real veldra.exe under Wine, started in a scratch game folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/handles_win32.h"
#include "tests/support/recorder_program.h"
#include "tests/support/scratch_folder.h"

namespace {
std::string BuiltProgram(const char* name) {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string folder(self, length);
  return folder.substr(0, folder.rfind('\\') + 1) + name;
}

// Runs a program from the current directory and waits for it to end.
DWORD RunToEnd(const std::string& commandLine) {
  std::string writable = commandLine;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    ADD_FAILURE() << "cannot start " << commandLine;
    return 0;
  }
  platform::OwnedHandle process(started.hProcess);
  platform::OwnedHandle thread(started.hThread);
  EXPECT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

HWND WaitForWindow(const char* title) {
  for (int i = 0; i < 300; ++i) {
    if (HWND window = FindWindowA(nullptr, title)) return window;
    Sleep(100);
  }
  return nullptr;
}

bool WaitForFile(const char* name) {
  for (int i = 0; i < 300 && !platform::PathExists(name); ++i) Sleep(100);
  return platform::PathExists(name);
}

void Quit(HWND window) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(1003, BN_CLICKED), 0);
  for (int i = 0; i < 100 && IsWindow(window); ++i) Sleep(100);
  EXPECT_FALSE(IsWindow(window));
}

// With the recorder as "veldra.exe", the launcher's copy and start are observed without a
// second window: the launcher copies whatever "veldra.exe" is in the folder.
// Returns the command line the copy was started with.
std::string LaunchWithRecorder(const ScratchFolder& folder, const std::string& words) {
  EXPECT_TRUE(platform::CopyFileOver(BuiltProgram("veldra.exe"), "launcher.exe"));
  WriteRecorderProgram(folder, "veldra.exe");
  RunToEnd("launcher.exe" + words);
  EXPECT_TRUE(WaitForFile("recorded.txt"));
  EXPECT_EQ(folder.Read("_veldra.exe"), folder.Read("veldra.exe"));
  return folder.Read("recorded.txt");
}

TEST(LauncherTest, EmptyCommandLineCopiesThePatcherAndStartsTheCopy) {
  ScratchFolder folder;
  EXPECT_EQ(LaunchWithRecorder(folder, ""), "_veldra.exe runningcopy");
}

TEST(LauncherTest, RelaunchWordIsPassedOnWithSteam) {
  ScratchFolder folder;
  EXPECT_EQ(LaunchWithRecorder(folder, "  RunningAuto steam "),
            "_veldra.exe runningcopyauto steam");
}

TEST(LauncherTest, StartedWithoutWordsInAnEmptyFolderTheCopyShowsTheWindow) {
  ScratchFolder folder;
  ASSERT_TRUE(platform::CopyFileOver(BuiltProgram("veldra.exe"), "veldra.exe"));
  RunToEnd("veldra.exe");
  EXPECT_TRUE(platform::PathExists("_veldra.exe"));
  HWND window = WaitForWindow("Patch Client");
  ASSERT_NE(window, nullptr);
  LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & WS_CAPTION);
  EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  // Escape does nothing; the window ends by its own quit button.
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  Sleep(300);
  EXPECT_TRUE(IsWindow(window));
  Quit(window);
}

TEST(LauncherTest, UnrelatedWordShowsTheWindowWithoutACopy) {
  ScratchFolder folder;
  ASSERT_TRUE(platform::CopyFileOver(BuiltProgram("veldra.exe"), "veldra.exe"));
  std::string commandLine = "veldra.exe foo";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &started));
  platform::OwnedHandle process(started.hProcess);
  platform::OwnedHandle thread(started.hThread);
  HWND window = WaitForWindow("Patch Client");
  ASSERT_NE(window, nullptr);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  EXPECT_EQ(owner, started.dwProcessId);
  EXPECT_FALSE(platform::PathExists("_veldra.exe"));
  Quit(window);
  EXPECT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
}
}  // namespace
