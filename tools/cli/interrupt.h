#pragma once

#include <functional>

// Ctrl-C, one source per platform: the first press is only noted, for the main thread to stop
// the work as the window's Quit does; a second ends the process at once.
void CatchInterrupt();
bool Interrupted();

// Runs `start` with Ctrl-C held back from the calling thread, so that the threads it starts
// never take it in the middle of their work: it comes to the main thread alone.
void WithInterruptHeld(const std::function<void()>& start);
