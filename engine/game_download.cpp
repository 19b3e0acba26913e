#include "engine/game_download.h"

#include <string>
#include <vector>

#include "engine/file_digests.h"
#include "engine/http_connection.h"
#include "engine/packages.h"
#include "engine/patch_job.h"
#include "engine/status_log.h"
#include "platform/prompt.h"

namespace {

std::vector<std::string> FilesToFetch(const FileDigestMap& files) {
  std::vector<std::string> keys;
  for (const auto& [key, digests] : files) {
    if (digests.installed == digests.listed || IsZeroDigest(digests.listed)) continue;
    if (NeedsPackage(key, digests)) keys.push_back(key);
  }
  return keys;
}

}  // namespace

bool DownloadGameFiles(PatchJob& job) {
  BeginStage(job, ConfigText(job, "Msg", "Patch Game", "Downloading game files"));
  const std::vector<std::string> keys = FilesToFetch(job.files);
  SetStageRange(job, keys.size());
  for (const std::string& key : keys) {
    if (CurrentState(job) == PatchState::Stop) break;
    CountStageItem(job);
    if (!DownloadFile(job, PackageNameOf(key), Arrival::Staged)) {
      if (CurrentState(job) == PatchState::Stop) break;  // the status log is saved below
      WriteStatusLog(job);  // what was fetched so far need not be fetched again
      SetState(job, PatchState::Failed);
      return false;
    }
    FileDigests& digests = *job.files.Find(key);
    digests.fetched = digests.listed;
    digests.fetchedThisRun = true;
  }
  if (!SaveAndUnpackFetched(job)) return false;
  if (job.refusedName.empty()) return true;
  platform::ShowAppMessage("The file list names a file that cannot be installed: " +
                           job.refusedName + ". Every other file was installed.");
  return false;
}
