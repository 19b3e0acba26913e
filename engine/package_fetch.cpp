#include "engine/package_fetch.h"

#include <utility>

#include "engine/download_file.h"
#include "engine/file_digests.h"
#include "engine/http_connection.h"
#include "engine/patch_job.h"
#include "engine/status_log.h"
#include "engine/unpacking.h"

namespace {

bool SaveAndUnpack(PatchJob& job) {
  if (!SaveStatusLog(job)) return false;
  if (CurrentState(job) == PatchState::Stop) return false;
  if (DecompressPackages(job)) return true;
  SetState(job, PatchState::Failed);  // a stop in the middle of the unpacking too
  return false;
}

}  // namespace

bool FetchPackages(PatchJob& job, const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    if (CurrentState(job) == PatchState::Stop) break;
    CountStageItem(job);
    bool resumed = false;
    if (!DownloadFile(job, PackageNameOf(key), Arrival::Staged, &resumed)) {
      if (CurrentState(job) == PatchState::Stop) break;  // the status log is saved after
      WriteStatusLog(job);  // what was fetched so far need not be fetched again
      SetState(job, PatchState::Failed);
      return false;
    }
    FileDigests& digests = *job.files.Find(key);
    digests.fetched = digests.listed;
    digests.fetchedThisRun = true;
    digests.resumedThisRun = resumed;
  }
  return true;
}

bool SaveAndUnpackFetched(PatchJob& job) {
  if (!SaveAndUnpack(job)) return false;
  if (job.fetchAgain.empty()) return true;
  std::vector<std::string> keys;
  for (const auto& [key, why] : job.fetchAgain) keys.push_back(key);
  BeginStage(job, ConfigText(job, "Msg", "Patch Game", "Downloading game files"));
  SetStageRange(job, keys.size());
  job.fetchAgain.clear();
  if (!FetchPackages(job, keys) || !SaveAndUnpack(job)) return false;
  // Damaged once more, though fetched whole but for a break within this fetch.
  for (auto& [key, why] : std::exchange(job.fetchAgain, {})) job.fileFailures.try_emplace(key, why);
  return true;
}
