#include "engine/listed_check.h"

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/local_check.h"
#include "engine/patch_job.h"
#include "engine/status_log.h"
#include "platform/files.h"

namespace {

// True when the entry changed: the file was digested again, or is gone since it was known.
bool LookAgain(const std::string& key, FileDigests& digests, bool digestAnyway) {
  std::optional<platform::FileStamp> now = platform::StampOf("." + key);
  if (!now) {
    const bool known = !IsZeroDigest(digests.installed);
    digests.installed = Digest{};
    digests.stamp.reset();
    return known;
  }
  if (!digestAnyway && digests.stamp == now) return false;
  TakeStock(key, digests);
  return true;
}

}  // namespace

bool CheckListedFiles(PatchJob& job) {
  BeginStage(job, ConfigText(job, "Msg", "LocalFile", "Checking Local Files"));
  std::size_t listed = 0;
  for (const auto& entry : job.files) {
    if (!IsZeroDigest(entry.second.listed)) ++listed;
  }
  SetStageRange(job, listed);
  bool changed = false;
  for (auto& [key, digests] : job.files) {
    if (IsZeroDigest(digests.listed)) continue;
    if (CurrentState(job) == PatchState::Stop) return false;
    CountStageItem(job, key);
    if (LookAgain(key, digests, job.digestEveryListedFile)) changed = true;
  }
  return !changed || SaveStatusLog(job);
}
