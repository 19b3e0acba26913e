#include "engine/package_fetch.h"

#include <utility>

#include "engine/download_file.h"
#include "engine/file_digests.h"
#include "engine/http_connection.h"
#include "engine/patch_run.h"
#include "engine/status_log.h"
#include "engine/unpacking.h"

namespace {

Outcome SaveAndUnpack(PatchRun& run) {
  if (!SaveStatusLog(run)) return Outcome::Failed();
  if (StopAsked(run)) return Outcome::Stopped();
  return DecompressPackages(run);
}

}  // namespace

Outcome FetchPackages(PatchRun& run, const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    if (StopAsked(run)) break;
    CountStageItem(run.job);
    bool resumed = false;
    Outcome fetched = DownloadFile(run, PackageNameOf(key), Arrival::Staged, &resumed);
    if (!fetched) {
      if (StopAsked(run)) break;  // the status log is saved after
      WriteStatusLog(run);        // what was fetched so far need not be fetched again
      return fetched;
    }
    FileDigests& digests = *run.files.Find(key);
    digests.fetched = digests.listed;
    digests.fetchedThisRun = true;
    digests.resumedThisRun = resumed;
  }
  return Outcome::GoOn();
}

Outcome SaveAndUnpackFetched(PatchRun& run) {
  if (Outcome unpacked = SaveAndUnpack(run); !unpacked) return unpacked;
  if (run.fetchAgain.empty()) return Outcome::GoOn();
  std::vector<std::string> keys;
  for (const auto& [key, why] : run.fetchAgain) keys.push_back(key);
  BeginStage(run.job, ConfigText(run, "Msg", "Patch Game", "Downloading game files"));
  SetStageRange(run.job, keys.size());
  run.fetchAgain.clear();
  if (Outcome fetched = FetchPackages(run, keys); !fetched) return fetched;
  if (Outcome unpacked = SaveAndUnpack(run); !unpacked) return unpacked;
  // Damaged once more, though fetched whole but for a break within this fetch.
  for (auto& [key, why] : std::exchange(run.fetchAgain, {})) run.fileFailures.try_emplace(key, why);
  return Outcome::GoOn();
}
