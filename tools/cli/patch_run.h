#pragma once

#include <functional>
#include <optional>
#include <string>

#include "engine/patch_job.h"
#include "platform/signature.h"

class Console;

// How one run of a worker routine ended.
struct RunEnd {
  PatchState state = PatchState::Failed;
  bool folderBusy = false;  // another run held the game folder, and nothing was done
};

// One run of `routine` on a fresh PatchWorker and job, shown on `console` from polls of the
// main thread until the routine has returned. Ctrl-C asks the worker to stop and waits for
// it as the window's Quit does; the state is then Stop. `tellEnd` is called with the end
// before it is returned, or before the program quits on a worker that did not stop.
RunEnd WatchRun(const PatchWorker::Routine& routine, const std::string& zone,
                const std::string& configPath, Console& console,
                const std::function<void(const RunEnd&)>& tellEnd);

// Whole runs of the engine's stages on the game folder.
struct PatchRuns {
  static constexpr int kMostRuns = 3;

  std::string zone;
  std::string configPath;  // full path of patch.sys
  Console& console;
  bool repair = false;  // the first run digests every listed file; a relaunch need not
  std::optional<platform::P256PublicKey> releaseKey;  // the program's own, if it has one
  bool showRequests = false;
  std::optional<int> transfers;

  RunEnd RunOnce(int run) const;
  // Runs again after each Relaunch, kMostRuns runs in all; the last run's end.
  RunEnd RunUntilSettled() const;
};

constexpr int kExitFolderBusy = 7;

// 0 for Done; the state's own number for Relaunch, Failed and Stop; a run that ended in any
// other state did not finish, and is told as Failed.
int ExitStatusOf(PatchState state);
int ExitStatusOf(const RunEnd& end);
