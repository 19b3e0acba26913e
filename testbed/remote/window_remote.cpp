// veldra-remote: drives a running window from outside with the messages a player's clicks
// send, and reads back what it shows. For the end-to-end tests, the demo and the benchmarks.
//
//   veldra-remote wait TITLE SECONDS            waits for the visible window; prints its pid
//   veldra-remote command TITLE ID              clicks button ID
//   veldra-remote shot TITLE FILE.png           the window's place on the screen, as PNG
//   veldra-remote text TITLE ID                 prints the text of control ID
//   veldra-remote quit-latency TITLE ID SECONDS clicks ID; prints the ms until the process ends
//
// Exit status 0 on success; 1 with the reason on stderr.
#include <windows.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

#include "platform/handles_win32.h"
#include "testbed/skin/sample_pictures.h"
#include "testbed/windows/window_checks.h"

namespace {

int Fail(const std::string& reason) {
  std::fprintf(stderr, "veldra-remote: %s\n", reason.c_str());
  return 1;
}

std::string SystemError(DWORD code = GetLastError()) {
  return "system error " + std::to_string(code);
}

bool ParseNumber(std::string_view text, unsigned maximum, unsigned& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size() && value <= maximum;
}

// The text of another process's window comes from the system without a message to the window
// (GetWindowTextLengthA would send one), so a window whose thread is busy or hung does not
// hold this up. A text cut to `longest` is longer than any title it is compared with.
std::string TextOf(HWND window, std::size_t longest = 4096) {
  std::string text(longest + 1, '\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

struct TitleSearch {
  std::string_view title;
  HWND found = nullptr;
};

BOOL CALLBACK MatchVisibleTitle(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TitleSearch*>(context);
  if (!IsWindowVisible(window) || TextOf(window, search->title.size() + 1) != search->title)
    return TRUE;
  search->found = window;
  return FALSE;
}

HWND VisibleWindow(std::string_view title) {
  TitleSearch search{title};
  EnumWindows(MatchVisibleTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The window and one of its controls, as the commands that name an ID need them.
struct Target {
  HWND window = nullptr;
  HWND control = nullptr;
  unsigned id = 0;
};

bool FindTarget(std::string_view title, std::string_view idText, Target& target,
                std::string& reason) {
  if (!ParseNumber(idText, 0xFFFF, target.id)) {
    reason = "not a control id: " + std::string(idText);
    return false;
  }
  target.window = VisibleWindow(title);
  if (target.window == nullptr) {
    reason = "no visible window titled \"" + std::string(title) + "\"";
    return false;
  }
  target.control = GetDlgItem(target.window, static_cast<int>(target.id));
  if (target.control == nullptr) {
    reason = "\"" + std::string(title) + "\" has no control " + std::string(idText);
    return false;
  }
  return true;
}

// What the control sends its window when the player clicks it.
bool Click(const Target& target) {
  return PostMessageA(target.window, WM_COMMAND, MAKEWPARAM(target.id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(target.control));
}

int Wait(std::string_view title, std::string_view secondsText) {
  unsigned seconds = 0;
  if (!ParseNumber(secondsText, 86400, seconds))
    return Fail("not a number of seconds: " + std::string(secondsText));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    if (HWND window = VisibleWindow(title)) {
      DWORD process = 0;
      GetWindowThreadProcessId(window, &process);
      std::printf("%lu\n", process);
      return 0;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return Fail("no visible window titled \"" + std::string(title) + "\" within " +
              std::string(secondsText) + " s");
}

int Command(std::string_view title, std::string_view id) {
  Target target;
  std::string reason;
  if (!FindTarget(title, id, target, reason)) return Fail(reason);
  if (!Click(target)) return Fail("cannot post the command: " + SystemError());
  return 0;
}

int Shot(std::string_view title, const std::string& file) {
  HWND window = VisibleWindow(title);
  if (window == nullptr) return Fail("no visible window titled \"" + std::string(title) + "\"");
  RECT area{};
  if (!GetWindowRect(window, &area)) return Fail("no window rectangle: " + SystemError());
  auto picture = CopyScreen(area);
  if (!picture) return Fail("cannot copy the screen's pixels");
  std::string png = sample_pictures::Encode(*picture, sample_pictures::Format::Png32);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  out.close();
  if (!out) return Fail("cannot write " + file);
  return 0;
}

int Text(std::string_view title, std::string_view id) {
  Target target;
  std::string reason;
  if (!FindTarget(title, id, target, reason)) return Fail(reason);
  std::printf("%s\n", TextOf(target.control).c_str());
  return 0;
}

int QuitLatency(std::string_view title, std::string_view id, std::string_view secondsText) {
  unsigned seconds = 0;
  if (!ParseNumber(secondsText, 86400, seconds))
    return Fail("not a number of seconds: " + std::string(secondsText));
  Target target;
  std::string reason;
  if (!FindTarget(title, id, target, reason)) return Fail(reason);
  DWORD processId = 0;
  GetWindowThreadProcessId(target.window, &processId);
  platform::OwnedHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!process)
    return Fail("cannot open process " + std::to_string(processId) + ": " + SystemError());
  auto posted = std::chrono::steady_clock::now();
  if (!Click(target)) return Fail("cannot post the command: " + SystemError());
  DWORD waited = WaitForSingleObject(process.get(), seconds * 1000);
  auto ended = std::chrono::steady_clock::now();
  if (waited == WAIT_TIMEOUT) {
    return Fail("process " + std::to_string(processId) + " still runs " + std::string(secondsText) +
                " s after the command");
  }
  if (waited != WAIT_OBJECT_0) return Fail("cannot wait for the process: " + SystemError());
  std::printf("%lld\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(ended - posted).count()));
  return 0;
}

int Usage() {
  return Fail(
      "usage: veldra-remote wait TITLE SECONDS | command TITLE ID | shot TITLE FILE.png | "
      "text TITLE ID | quit-latency TITLE ID SECONDS");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string_view command = argv[1];
  if (command == "wait" && argc == 4) return Wait(argv[2], argv[3]);
  if (command == "command" && argc == 4) return Command(argv[2], argv[3]);
  if (command == "shot" && argc == 4) return Shot(argv[2], argv[3]);
  if (command == "text" && argc == 4) return Text(argv[2], argv[3]);
  if (command == "quit-latency" && argc == 5) return QuitLatency(argv[2], argv[3], argv[4]);
  return Usage();
}
