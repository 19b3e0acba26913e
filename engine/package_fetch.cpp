#include "engine/package_fetch.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>

#include "engine/download_file.h"
#include "engine/file_digests.h"
#include "engine/http_connection.h"
#include "engine/patch_run.h"
#include "engine/status_log.h"
#include "engine/transfer_pool.h"
#include "engine/unpacking.h"

namespace {

// Often enough that a run killed midway loses little; rarely enough that saving the log of
// 100,000 files costs next to nothing.
constexpr std::chrono::seconds kSaveEvery{5};

Outcome SaveAndUnpack(PatchRun& run) {
  if (!SaveStatusLog(run)) return Outcome::Failed();
  if (StopAsked(run)) return Outcome::Stopped();
  return DecompressPackages(run);
}

}  // namespace

Outcome FetchPackages(PatchRun& run, const std::vector<std::string>& keys, PackageSizes sizes) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point saved = Clock::now();
  bool unpacking = true;
  auto arrived = [&](const std::string& key, bool resumed,
                     const std::optional<std::string>& inMemory) {
    FileDigests& digests = *run.files.Find(key);
    digests.fetchedThisRun = true;
    digests.resumedThisRun = resumed;
    // After a stop, or a disk too full, a package in temp\ waits for the next run's
    // unpacking; one in memory is fetched again then.
    if (!unpacking || StopAsked(run)) {
      if (!inMemory) digests.fetched = digests.listed;
      return Outcome::GoOn();
    }
    digests.fetched = digests.listed;
    Outcome unpacked = UnpackFetched(run, key, digests, inMemory ? &*inMemory : nullptr);
    unpacking = static_cast<bool>(unpacked);
    if (Clock::now() - saved >= kSaveEvery) {
      WriteStatusLog(run);
      saved = Clock::now();
    }
    return unpacked;
  };
  const bool counted = sizes == PackageSizes::CountedBefore || CountSignedPackageSizes(run, keys);
  Outcome fetched = FetchAtOnce(run, keys, counted, arrived);
  if (fetched.stopped() || StopAsked(run)) return Outcome::GoOn();  // the caller saves
  return fetched;
}

Outcome FetchPackagesSavingOnFailure(PatchRun& run, const std::vector<std::string>& keys,
                                     PackageSizes sizes) {
  Outcome fetched = FetchPackages(run, keys, sizes);
  if (!fetched) WriteStatusLog(run);  // what arrived need not be fetched again
  return fetched;
}

Outcome SaveAndUnpackFetched(PatchRun& run) {
  if (Outcome unpacked = SaveAndUnpack(run); !unpacked) return unpacked;
  if (run.fetchAgain.empty()) return Outcome::GoOn();
  std::vector<std::string> keys;
  for (const auto& [key, why] : run.fetchAgain) keys.push_back(key);
  BeginStage(run.job, ConfigText(run, "Msg", "Patch Game", "Downloading game files"));
  SetStageRange(run.job, keys.size());
  run.fetchAgain.clear();
  if (Outcome fetched = FetchPackagesSavingOnFailure(run, keys); !fetched) return fetched;
  if (Outcome unpacked = SaveAndUnpack(run); !unpacked) return unpacked;
  // Damaged once more, though fetched whole but for a break within this fetch.
  for (auto& [key, why] : std::exchange(run.fetchAgain, {})) run.fileFailures.try_emplace(key, why);
  return Outcome::GoOn();
}
