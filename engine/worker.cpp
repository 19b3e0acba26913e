#include "engine/worker.h"

#include <mutex>
#include <string>
#include <utility>

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/file_list_stage.h"
#include "engine/game_download.h"
#include "engine/http_connection.h"
#include "engine/listed_check.h"
#include "engine/local_check.h"
#include "engine/patch_job.h"
#include "engine/self_update.h"
#include "engine/server_select.h"
#include "engine/version_check.h"
#include "platform/folder_lock.h"
#include "platform/prompt.h"

namespace {

using Stage = bool (*)(PatchJob&);

// A "lock.ftp" that the server hands out, empty or not, means maintenance.
bool ProbeMaintenance(PatchJob& job) {
  if (job.connection.OpenFile("lock.ftp") == -1) return true;
  job.connection.CloseRequest();
  platform::ShowMessage("Server is under maintenance, please try again later", "Maintenance",
                        platform::kBoxOk);
  return false;
}

// In order; the first that returns false ends the run.
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

// A stage that set Relaunch, Failed or Stop itself, or a window that asked to stop, keeps
// its state; only a plain failure becomes Failed.
void EndFailed(PatchJob& job) {
  std::lock_guard<std::mutex> guard(job.lock);
  PatchState running = PatchState::Running;
  job.state.compare_exchange_strong(running, PatchState::Failed);
}

bool RunStages(PatchJob& job) {
  for (Stage stage : kStages) {
    // A stop that came during a stage ends the run before the next one talks to the server.
    if (CurrentState(job) == PatchState::Stop) return false;
    if (!stage(job)) return false;
  }
  return true;
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
      break;
    case platform::FolderLock::Result::Failed:
      SetFailureReason(
          job, std::string(kFolderLockName) + ": system error " + std::to_string(lock.error()));
      platform::ShowAppMessage("Cannot lock the game folder: " + std::string(kFolderLockName) +
                               " could not be opened, or is no plain file of the folder's own (a "
                               "link, a folder or a device) (system error " +
                               std::to_string(lock.error()) + ").");
      break;
  }
  EndFailed(job);
  return false;
}

}  // namespace

void RunHoldingGameFolder(PatchJob& job, const std::function<bool(PatchJob&)>& work) {
  if (!BeginRunning(job)) return;
  platform::FolderLock lock;
  if (!LockGameFolder(job, lock)) return;
  if (work(job)) {
    SetState(job, PatchState::Done);
    return;
  }
  // The last word of a run that met a captive portal is what the player can do about it.
  if (job.webPageAnswered && CurrentState(job) != PatchState::Stop) {
    platform::ShowAppMessage(
        "The network answered with a web page instead of the patch server: a sign-in page "
        "of a Wi-Fi or a proxy.\nSign in to the network (open any web page in a browser), "
        "then start the patcher again.");
  }
  EndFailed(job);
}

void RunPatchWorker(PatchJob& job) { RunHoldingGameFolder(job, RunStages); }

void RunRepairWorker(PatchJob& job) {
  job.digestEveryListedFile = true;
  RunHoldingGameFolder(job, RunStages);
}

std::function<void(PatchJob&)> WithReleaseKey(std::optional<platform::P256PublicKey> key,
                                              std::function<void(PatchJob&)> routine) {
  return [key, routine = std::move(routine)](PatchJob& job) {
    job.releaseKey = key;
    routine(job);
  };
}
