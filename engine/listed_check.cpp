#include "engine/listed_check.h"

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/local_check.h"
#include "engine/patch_run.h"
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

Outcome CheckListedFiles(PatchRun& run) {
  BeginStage(run.job, ConfigText(run, "Msg", "LocalFile", "Checking Local Files"));
  std::size_t listed = 0;
  for (const auto& entry : run.files) {
    if (!IsZeroDigest(entry.second.listed)) ++listed;
  }
  SetStageRange(run.job, listed);
  bool changed = false;
  for (auto& [key, digests] : run.files) {
    if (IsZeroDigest(digests.listed)) continue;
    if (StopAsked(run)) return Outcome::Stopped();
    CountStageItem(run.job, key);
    if (LookAgain(key, digests, run.inputs.digestEveryListedFile)) changed = true;
  }
  return !changed || SaveStatusLog(run) ? Outcome::GoOn() : Outcome::Failed();
}
