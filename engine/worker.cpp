#include "engine/worker.h"

#include <mutex>
#include <string>
#include <utility>

#include "engine/file_list_stage.h"
#include "engine/game_download.h"
#include "engine/http_connection.h"
#include "engine/listed_check.h"
#include "engine/local_check.h"
#include "engine/self_update.h"
#include "engine/server_select.h"
#include "engine/version_check.h"
#include "platform/folder_lock.h"
#include "platform/prompt.h"

namespace {

using Stage = Outcome (*)(PatchRun&);

// A "lock.ftp" that the server hands out, empty or not, means maintenance.
Outcome ProbeMaintenance(PatchRun& run) {
  if (run.connection.OpenFile("lock.ftp") == -1) return Outcome::GoOn();
  run.connection.CloseRequest();
  platform::ShowMessage("Server is under maintenance, please try again later", "Maintenance",
                        platform::kBoxOk);
  return Outcome::Failed();
}

// In order; the first that does not go on ends the run.
constexpr Stage kStages[] = {
    CheckLocalFiles, ConnectServer,    CheckVersion,      ProbeMaintenance,
    LoadFileList,    CheckListedFiles, UpdatePatchSystem, DownloadGameFiles,
};

// A stop the window asked for before the thread got going wins over the start.
bool BeginRunning(PatchJob& job) {
  std::lock_guard<std::mutex> guard(job.lock);
  if (job.state.load() != PatchState::Idle) return false;
  job.state.store(PatchState::Running);
  return true;
}

// The one write of how the run ended. A stop the window asked for meanwhile stays.
void EndRun(PatchJob& job, const Outcome& outcome) {
  std::lock_guard<std::mutex> guard(job.lock);
  PatchState running = PatchState::Running;
  if (job.state.compare_exchange_strong(running, EndStateOf(outcome)) && !outcome.reason.empty()) {
    job.failureReason = outcome.reason;
  }
}

Outcome RunStages(PatchRun& run) {
  for (Stage stage : kStages) {
    // A stop that came during a stage ends the run before the next one talks to the server.
    if (StopAsked(run)) return Outcome::Stopped();
    Outcome outcome = stage(run);
    if (!outcome) return outcome;
  }
  return Outcome::GoOn();
}

bool LockGameFolder(PatchJob& job, platform::FolderLock& lock) {
  switch (lock.Take(kFolderLockName)) {
    case platform::FolderLock::Result::Taken:
      return true;
    case platform::FolderLock::Result::Busy:
      platform::ShowAppMessage(
          "The patcher is already running in this game folder.\n"
          "Nothing was changed; try again once that run has finished.");
      job.folderBusy = true;
      EndRun(job, Outcome::Failed());
      return false;
    case platform::FolderLock::Result::Failed:
      break;
  }
  const std::string reason =
      std::string(kFolderLockName) + ": system error " + std::to_string(lock.error());
  SetFailureReason(job, reason);
  platform::ShowAppMessage("Cannot lock the game folder: " + std::string(kFolderLockName) +
                           " could not be opened, or is no plain file of the folder's own (a "
                           "link, a folder or a device) (system error " +
                           std::to_string(lock.error()) + ").");
  EndRun(job, Outcome::Failed(reason));
  return false;
}

}  // namespace

void RunHoldingGameFolder(PatchJob& job, RunInputs inputs,
                          const std::function<Outcome(PatchRun&)>& work) {
  if (!BeginRunning(job)) return;
  platform::FolderLock lock;
  if (!LockGameFolder(job, lock)) return;
  PatchRun run(job, std::move(inputs));
  const Outcome outcome = work(run);
  if (outcome) {
    SetState(job, PatchState::Done);
    return;
  }
  // The last word of a run that met a captive portal is what the player can do about it.
  if (run.webPageAnswered && !outcome.stopped() && !StopAsked(run)) {
    platform::ShowAppMessage(
        "The network answered with a web page instead of the patch server: a sign-in page "
        "of a Wi-Fi or a proxy.\nSign in to the network (open any web page in a browser), "
        "then start the patcher again.");
  }
  EndRun(job, outcome);
}

void RunPatchWorker(PatchJob& job, RunInputs inputs) {
  RunHoldingGameFolder(job, std::move(inputs), RunStages);
}

PatchWorker::Routine PatchRoutine(RunInputs inputs) {
  return [inputs = std::move(inputs)](PatchJob& job) { RunPatchWorker(job, inputs); };
}
