#include "tools/cli/patch_run.h"

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "engine/worker.h"
#include "tools/cli/console.h"
#include "tools/cli/interrupt.h"
#include "tools/cli/request_lines.h"

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

std::string RunLine(int run, const RunEnd& end) {
  return "veldra-cli: run " + std::to_string(run) + " of at most " +
         std::to_string(PatchRuns::kMostRuns) + ": " +
         (end.folderBusy ? "another run holds the game folder" : OutcomeText(end.state));
}

}  // namespace

RunEnd WatchRun(const PatchWorker::Routine& routine, const std::string& zone,
                const std::string& configPath, Console& console,
                const std::function<void(const RunEnd&)>& tellEnd) {
  PatchWorker worker;
  WithInterruptHeld([&] { worker.Start(zone, configPath, routine); });
  for (;;) {
    if (Interrupted()) {
      console.Tell("veldra-cli: stopping (Ctrl-C again quits at once)");
      const bool stopped = worker.Stop();
      console.EndRun(worker.Poll(), ProgressLog::Clock::now());
      tellEnd({PatchState::Stop});
      if (!worker.WaitForEnd(std::chrono::milliseconds(0))) {
        if (!stopped) {
          console.Tell("veldra-cli: the worker did not stop within " +
                       std::to_string(PatchWorker::kStopWait.count() / 1000) +
                       " seconds; quitting anyway");
        }
        // The worker still runs: it must not meet the program's statics being torn down.
        std::_Exit(ExitStatusOf(PatchState::Stop));
      }
      return {PatchState::Stop};
    }
    // Ten looks a second, and the end noticed as it happens.
    if (worker.WaitForEnd(kPollWait)) {
      const PatchSnapshot seen = worker.Poll();
      console.EndRun(seen, ProgressLog::Clock::now());
      const RunEnd end{seen.state, worker.job().folderBusy};
      tellEnd(end);
      return end;
    }
    console.Look(worker.Poll(), ProgressLog::Clock::now());
  }
}

RunEnd PatchRuns::RunOnce(int run) const {
  RunInputs inputs;
  inputs.releaseKey = releaseKey;
  inputs.digestEveryListedFile = repair && run == 1;
  inputs.transfers = transfers;
  if (showRequests) inputs.requestLog = RequestLinesOn(console);
  inputs.tellNote = NotesOn(console);
  return WatchRun(PatchRoutine(std::move(inputs)), zone, configPath, console,
                  [&](const RunEnd& end) { console.Tell(RunLine(run, end)); });
}

RunEnd PatchRuns::RunUntilSettled() const {
  for (int run = 1;; ++run) {
    const RunEnd end = RunOnce(run);
    if (end.state != PatchState::Relaunch) return end;
    if (run == kMostRuns) {
      console.Tell("veldra-cli: the patcher asked to start again after " +
                   std::to_string(kMostRuns) + " runs; giving up");
      return end;
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

int ExitStatusOf(const RunEnd& end) {
  return end.folderBusy ? kExitFolderBusy : ExitStatusOf(end.state);
}
