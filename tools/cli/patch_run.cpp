#include "tools/cli/patch_run.h"

#include <chrono>
#include <cstdlib>
#include <string>

#include "engine/worker.h"
#include "tools/cli/console.h"
#include "tools/cli/interrupt.h"

namespace {

constexpr std::chrono::milliseconds kPollWait{100};

const char* OutcomeText(PatchState state) {
  switch (state) {
    case PatchState::Done:
      return "done";
    case PatchState::Relaunch:
      return "the patcher's own files were updated";
    case PatchState::Stop:
      return "stopped";
    default:
      return "failed";
  }
}

std::string RunLine(int run, PatchState state) {
  return "veldra-cli: run " + std::to_string(run) + " of at most " +
         std::to_string(PatchRuns::kMostRuns) + ": " + OutcomeText(state);
}

}  // namespace

PatchState PatchRuns::RunOnce(int run) const {
  PatchWorker worker;
  WithInterruptHeld([&] { worker.Start(zone, configPath, RunPatchWorker); });
  for (;;) {
    if (Interrupted()) {
      console.Tell("veldra-cli: stopping (Ctrl-C again quits at once)");
      const bool stopped = worker.Stop();
      console.EndRun(worker.Poll(), ProgressLog::Clock::now());
      console.Tell(RunLine(run, PatchState::Stop));
      if (!worker.WaitForEnd(std::chrono::milliseconds(0))) {
        if (!stopped) {
          console.Tell("veldra-cli: the worker did not stop within " +
                       std::to_string(PatchWorker::kStopWait.count() / 1000) +
                       " seconds; quitting anyway");
        }
        // The worker still runs: it must not meet the program's statics being torn down.
        std::_Exit(ExitStatusOf(PatchState::Stop));
      }
      return PatchState::Stop;
    }
    // Ten looks a second, and the end noticed as it happens.
    if (worker.WaitForEnd(kPollWait)) {
      const PatchSnapshot seen = worker.Poll();
      console.EndRun(seen, ProgressLog::Clock::now());
      console.Tell(RunLine(run, seen.state));
      return seen.state;
    }
    console.Look(worker.Poll(), ProgressLog::Clock::now());
  }
}

PatchState PatchRuns::RunUntilSettled() const {
  for (int run = 1;; ++run) {
    const PatchState state = RunOnce(run);
    if (state != PatchState::Relaunch) return state;
    if (run == kMostRuns) {
      console.Tell("veldra-cli: the patcher asked to start again after " +
                   std::to_string(kMostRuns) + " runs; giving up");
      return state;
    }
    console.Tell("veldra-cli: patching again, as a relaunched patcher would");
  }
}

int ExitStatusOf(PatchState state) {
  switch (state) {
    case PatchState::Done:
      return 0;
    case PatchState::Relaunch:
    case PatchState::Failed:
    case PatchState::Stop:
      return static_cast<int>(state);
    default:
      return static_cast<int>(PatchState::Failed);
  }
}
