#include "engine/local_check.h"

#include <vector>

#include "engine/file_digests.h"
#include "engine/file_stamps.h"
#include "engine/patch_run.h"
#include "engine/state_file.h"
#include "engine/status_log.h"
#include "platform/files.h"

Digest DigestOfGameFile(const std::string& key) {
  platform::File file;
  if (!file.Open("." + key, platform::FileMode::Read, platform::FileShare::Read)) return {};
  return CMD5Checksum::DigestOfFile(file).value_or(Digest{});
}

void TakeStock(const std::string& key, FileDigests& digests) {
  digests.stamp = platform::StampOf("." + key);
  digests.installed = digests.stamp ? DigestOfGameFile(key) : Digest{};
}

void WalkFolder(FileDigestMap& files, const std::string& prefix) {
  std::vector<platform::FoundEntry> entries;
  if (!platform::FindEntries("." + prefix + "*", entries)) return;
  for (const platform::FoundEntry& entry : entries) {
    if (entry.folder) {
      // A linked folder may lead out of the game folder, or back into it without end.
      if (!entry.link) WalkFolder(files, prefix + entry.name + "\\");
    } else {
      files.FindOrAdd(prefix + entry.name) = FileDigests{};
    }
  }
}

Outcome DigestAllFiles(PatchRun& run) {
  SetStageRange(run.job, run.files.size());
  for (auto& [key, digests] : run.files) {
    if (StopAsked(run)) return Outcome::Stopped();
    CountStageItem(run.job, key);
    TakeStock(key, digests);
    digests.fetched = digests.installed;
  }
  if (StopAsked(run)) return Outcome::Stopped();
  return SaveStatusLog(run) ? Outcome::GoOn() : Outcome::Failed();
}

Outcome CheckLocalFiles(PatchRun& run) {
  BeginStage(run.job, ConfigText(run, "Msg", "LocalFile", "Checking Local Files"));
  if (!platform::PathExists("temp")) platform::CreateFolder("temp");
  std::optional<std::string> log = ReadStateFile(kStatusLogName, kLargestStatusLog);
  if (!log) {
    // No log, or a damaged one: take stock of the whole folder again.
    WalkFolder(run.files, "\\");
    return DigestAllFiles(run);
  }
  ReadStatusLog(*log, run.files);
  if (std::optional<std::string> stamps = ReadStateFile(kStampsName, kLargestStamps)) {
    ReadStamps(*stamps, run.files);
  }
  RememberSavedFiles(run);
  return Outcome::GoOn();
}
