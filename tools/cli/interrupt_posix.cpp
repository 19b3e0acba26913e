#include <signal.h>

#include <atomic>

#include "tools/cli/interrupt.h"

namespace {

std::atomic<int> presses{0};
static_assert(std::atomic<int>::is_always_lock_free, "touched by a signal handler");

void OnInterrupt(int) {
  if (presses.fetch_add(1) == 0) return;
  signal(SIGINT, SIG_DFL);
  raise(SIGINT);
}

}  // namespace

void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

bool Interrupted() { return presses.load() > 0; }

void WithInterruptHeld(const std::function<void()>& start) {
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &interrupt, &before);
  start();
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}
