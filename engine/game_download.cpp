#include "engine/game_download.h"

#include <string>
#include <vector>

#include "engine/chunk_update.h"
#include "engine/file_digests.h"
#include "engine/installed_check.h"
#include "engine/package_fetch.h"
#include "engine/patch_run.h"
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

// The list of what to fetch goes before the unpacking of what waits, which holds the other
// lists of the run: a release of 100,000 files must not hold them all at once.
Outcome FetchListedPackages(PatchRun& run) {
  const std::vector<std::string> keys = FilesToFetch(run.files);
  SetStageRange(run.job, keys.size());
  const PackagesLeft left = UpdateByChunks(run, keys);
  return FetchPackagesSavingOnFailure(run, left.keys, left.sizes);
}

}  // namespace

Outcome DownloadGameFiles(PatchRun& run) {
  BeginStage(run.job, ConfigText(run, "Msg", "Patch Game", "Downloading game files"));
  if (Outcome fetched = FetchListedPackages(run); !fetched) return fetched;
  if (Outcome unpacked = SaveAndUnpackFetched(run); !unpacked) return unpacked;
  // Done only when the folder is what the list says.
  if (Outcome installed = CheckListedFilesInstalled(run); !installed) return installed;
  if (run.refusedName.empty()) return Outcome::GoOn();
  platform::ShowAppMessage("The file list names a file that cannot be installed: " +
                           run.refusedName + ". Every other file was installed.");
  return Outcome::Failed();
}
