#include "engine/game_download.h"

#include <string>
#include <vector>

#include "engine/file_digests.h"
#include "engine/installed_check.h"
#include "engine/package_fetch.h"
#include "engine/patch_job.h"
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
  if (!FetchPackages(job, keys) || !SaveAndUnpackFetched(job)) return false;
  // Done only when the folder is what the list says.
  if (!CheckListedFilesInstalled(job)) return false;
  if (job.refusedName.empty()) return true;
  platform::ShowAppMessage("The file list names a file that cannot be installed: " +
                           job.refusedName + ". Every other file was installed.");
  return false;
}
