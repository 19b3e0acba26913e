#include <windows.h>

#include <atomic>

#include "tools/cli/interrupt.h"

namespace {

std::atomic<int> presses{0};

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  return presses.fetch_add(1) == 0 ? TRUE : FALSE;  // FALSE: the default handler ends us
}

}  // namespace

void CatchInterrupt() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool Interrupted() { return presses.load() > 0; }

// The system calls the control handler on a thread of its own: no worker ever takes it.
void WithInterruptHeld(const std::function<void()>& start) { start(); }
