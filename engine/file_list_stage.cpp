#include "engine/file_list_stage.h"

#include <optional>
#include <string>
#include <utility>

#include "engine/control_files.h"
#include "engine/download_file.h"
#include "engine/file_list.h"
#include "engine/http_connection.h"
#include "engine/installable_name.h"
#include "engine/patch_run.h"
#include "engine/pserv_log.h"
#include "engine/state_file.h"
#include "platform/files.h"
#include "platform/prompt.h"

namespace {

Outcome ShowReadError(PatchRun& run, const char* name) {
  const std::string reason = CurrentFailureReason(run.job);
  platform::ShowMessage(std::string("Error reading ") + name, "Error", platform::kBoxOk, reason);
  return Outcome::Failed(reason);
}

// A listed entry that no file below the game folder can be made for is taken off the list,
// so it is never fetched.
void RefuseUninstallableNames(PatchRun& run) {
  const std::size_t folderLength = platform::CurrentDirectory().size();
  for (auto& [key, digests] : run.files) {
    if (IsZeroDigest(digests.listed)) continue;
    std::optional<std::string> why = WhyNotInstallable(key, folderLength);
    if (!why) continue;
    digests.listed = Digest{};
    if (run.refusedName.empty()) run.refusedName = key + " (" + *why + ")";
  }
}

// Two keys that are one file here, or share one package, would fetch that package for each
// of them on every run, and install one of them from the other's content.
Outcome RefuseCollidingKeys(PatchRun& run, const std::pair<std::string, std::string>& keys) {
  const std::string reason = "filelist.log names both " + keys.first + " and " + keys.second +
                             ", which would be one file or share one package";
  Outcome refused = Failure(run, reason);
  platform::ShowAppMessage("The patch server's file list cannot be used: " + reason +
                           ".\nNo game file was changed; please tell the game's operator.");
  return refused;
}

}  // namespace

Outcome LoadFileList(PatchRun& run) {
  std::optional<std::string> pservLog = ReadStateFile(run.job, "pserv.log", kLargestPservLog);
  std::optional<Digest> expected = pservLog ? FileListDigestOfPservLog(*pservLog) : std::nullopt;
  if (!expected) return ShowReadError(run, "pserv.log");
  if (FileDiffersFromDigest("filelist.log", *expected)) {
    if (Outcome fetched = DownloadFile(run, "filelist.log", FileListCheck(*expected)); !fetched) {
      return fetched;
    }
  }
  std::optional<std::string> fileList = ReadStateFile(run.job, "filelist.log", kLargestFileList);
  if (!fileList) return ShowReadError(run, "filelist.log");
  ReadFileList(*fileList, run.files);
  RefuseUninstallableNames(run);
  if (std::optional<std::pair<std::string, std::string>> keys = CollidingKeys(run.files)) {
    return RefuseCollidingKeys(run, *keys);
  }
  return Outcome::GoOn();
}
