#include "engine/self_update.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "engine/download_file.h"
#include "engine/file_digests.h"
#include "engine/http_connection.h"
#include "engine/installed_check.h"
#include "engine/local_check.h"
#include "engine/package_fetch.h"
#include "engine/patch_run.h"
#include "engine/pserv_log.h"
#include "engine/state_file.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/prompt.h"

namespace {

constexpr const char* kPictureKeys[] = {"imaged", "imagen", "imageh", "imagex"};

// The pictures patch.sys names for the window, as keys, in lookup order and with repeats.
std::vector<std::string> SkinPictureKeys(const PatchRun& run) {
  platform::ProfileReader config(run.job.configPath);
  std::vector<std::string> keys;
  auto add = [&](const std::string& section, const char* key) {
    // The key's backslash and the value share one 1024-byte buffer.
    std::string value = config.String(section, key, "", 1023);
    if (!value.empty()) keys.push_back("\\" + value);
  };
  add("layout", "image");
  const std::pair<const char*, int> groups[] = {
      {"Button", 10}, {"RadioDDX", 8}, {"RadioDWT", 8}, {"Radio", 8}};
  for (const auto& [prefix, count] : groups) {
    for (int number = 1; number <= count; ++number) {
      for (const char* key : kPictureKeys) add(prefix + std::to_string(number), key);
    }
  }
  return keys;
}

// Pictures to fetch: those the map knows whose installed content is not the listed one. A
// picture the map does not know cannot be fetched, and must not ask for a relaunch each run.
std::vector<std::string> StalePictures(PatchRun& run) {
  std::vector<std::string> stale;
  for (const std::string& key : SkinPictureKeys(run)) {
    const FileDigests* digests = run.files.Find(key);
    if (digests != nullptr && digests->installed != digests->listed) stale.push_back(key);
  }
  return stale;
}

// A file fetched whole and put in place is installed: without this its package would be
// fetched again by the game download.
void RecordFetchedWhole(PatchRun& run, const std::string& key) {
  FileDigests* digests = run.files.Find(key);
  if (digests == nullptr) return;
  TakeStock(key, *digests);
  digests->fetched = digests->installed;
}

// The new patcher arrives beside the old one and replaces it only once its digest is the one
// pserv.log announces: a cut or wrong file must never take the place of a working patcher.
bool FetchPatcher(PatchRun& run, const Digest& announced) {
  const std::string arrived = "temp\\veldra.exe";
  bool resumed = false;
  if (!DownloadFile(run, "veldra.exe", Arrival::Kept, &resumed)) return false;
  bool differs = FileDiffersFromDigest(arrived, announced);
  // A part kept from before may hold other bytes: that costs one whole fetch.
  if (differs && resumed) {
    platform::RemoveFile(arrived);
    if (!DownloadFile(run, "veldra.exe", Arrival::Kept)) return false;
    differs = FileDiffersFromDigest(arrived, announced);
  }
  if (!differs && platform::MoveFileOver(arrived, "veldra.exe")) return true;
  platform::RemoveFile(arrived);
  const std::string reason = differs ? "its MD5 is not the one pserv.log announces"
                                     : "it cannot replace the running patcher's file";
  SetFailureReason(run.job, "veldra.exe: " + reason);
  platform::ShowMessage("veldra.exe", "Error Downloading File", platform::kBoxOk, reason);
  return false;
}

}  // namespace

Outcome UpdatePatchSystem(PatchRun& run) {
  std::optional<std::string> pservLog = ReadStateFile(run.job, "pserv.log", kLargestPservLog);
  std::optional<Digest> patcher = pservLog ? PatcherDigestOfPservLog(*pservLog) : std::nullopt;
  if (!patcher) {
    const std::string reason = CurrentFailureReason(run.job);
    platform::ShowMessage("Error reading pserv.log", "Error", platform::kBoxOk, reason);
    return Outcome::Failed(reason);
  }
  bool patcherChanged = false;
  if (FileDiffersFromDigest("veldra.exe", *patcher)) {
    // Counts as changed even when the download failed: the relaunch tries again.
    if (FetchPatcher(run, *patcher)) RecordFetchedWhole(run, "\\veldra.exe");
    patcherChanged = true;
  }
  const std::vector<std::string> pictures = StalePictures(run);
  const bool relaunch = patcherChanged || !pictures.empty();

  // Once each: two transfers of one package at once would write the same file.
  std::vector<std::string> toFetch;
  for (const std::string& key : pictures) {
    if (NeedsPackage(key, *run.files.Find(key)) &&
        std::find(toFetch.begin(), toFetch.end(), key) == toFetch.end()) {
      toFetch.push_back(key);
    }
  }
  BeginStage(run.job, ConfigText(run, "Msg", "UpdatePatchSys", "Update Patch System"));
  SetStageRange(run.job, toFetch.size());
  if (Outcome fetched = FetchPackages(run, toFetch); !fetched) return fetched;
  if (Outcome unpacked = SaveAndUnpackFetched(run); !unpacked) return unpacked;
  if (Outcome installed = CheckNoFileFailed(run); !installed) return installed;
  if (!relaunch) return Outcome::GoOn();
  // A stop that came meanwhile wins: the run then ends before the game download.
  if (StopAsked(run)) return Outcome::Stopped();
  return Outcome::Relaunch();
}
