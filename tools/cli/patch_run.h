#pragma once

#include <string>

#include "engine/patch_job.h"

class Console;

// Whole runs of the engine's stages on the game folder, each with a fresh PatchWorker and
// job, shown on `console` from polls of the main thread.
struct PatchRuns {
  static constexpr int kMostRuns = 3;

  std::string zone;
  std::string configPath;  // full path of patch.sys
  Console& console;

  // One run, until the worker's routine has returned. Ctrl-C asks the worker to stop and
  // waits for it as the window's Quit does; the state is then Stop.
  PatchState RunOnce(int run) const;
  // Runs again after each Relaunch, kMostRuns runs in all; the last run's state.
  PatchState RunUntilSettled() const;
};

// 0 for Done; the state's own number for Relaunch, Failed and Stop; a run that ended in any
// other state did not finish, and is told as Failed.
int ExitStatusOf(PatchState state);
