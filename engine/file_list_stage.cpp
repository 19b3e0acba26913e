#include "engine/file_list_stage.h"

#include <optional>
#include <string>
#include <utility>

#include "engine/control_files.h"
#include "engine/download_file.h"
#include "engine/file_list.h"
#include "engine/http_connection.h"
#include "engine/installable_name.h"
#include "engine/patch_job.h"
#include "engine/pserv_log.h"
#include "engine/state_file.h"
#include "platform/files.h"
#include "platform/prompt.h"

namespace {

bool ShowReadError(PatchJob& job, const char* name) {
  platform::ShowMessage(std::string("Error reading ") + name, "Error", platform::kBoxOk,
                        CurrentFailureReason(job));
  return false;
}

// A listed entry that no file below the game folder can be made for is taken off the list,
// so it is never fetched.
void RefuseUninstallableNames(PatchJob& job) {
  const std::size_t folderLength = platform::CurrentDirectory().size();
  for (auto& [key, digests] : job.files) {
    if (IsZeroDigest(digests.listed)) continue;
    std::optional<std::string> why = WhyNotInstallable(key, folderLength);
    if (!why) continue;
    digests.listed = Digest{};
    if (job.refusedName.empty()) job.refusedName = key + " (" + *why + ")";
  }
}

// Two keys that are one file here, or share one package, would fetch that package for each
// of them on every run, and install one of them from the other's content.
bool RefuseCollidingKeys(PatchJob& job, const std::pair<std::string, std::string>& keys) {
  const std::string reason = "filelist.log names both " + keys.first + " and " + keys.second +
                             ", which would be one file or share one package";
  SetFailureReason(job, reason);
  platform::ShowAppMessage("The patch server's file list cannot be used: " + reason +
                           ".\nNo game file was changed; please tell the game's operator.");
  return false;
}

}  // namespace

bool LoadFileList(PatchJob& job) {
  std::optional<std::string> pservLog = ReadStateFile(job, "pserv.log", kLargestPservLog);
  std::optional<Digest> expected = pservLog ? FileListDigestOfPservLog(*pservLog) : std::nullopt;
  if (!expected) return ShowReadError(job, "pserv.log");
  if (FileDiffersFromDigest("filelist.log", *expected) &&
      !DownloadFile(job, "filelist.log", FileListCheck(*expected))) {
    return false;
  }
  std::optional<std::string> fileList = ReadStateFile(job, "filelist.log", kLargestFileList);
  if (!fileList) return ShowReadError(job, "filelist.log");
  ReadFileList(*fileList, job.files);
  RefuseUninstallableNames(job);
  if (std::optional<std::pair<std::string, std::string>> keys = CollidingKeys(job.files)) {
    return RefuseCollidingKeys(job, *keys);
  }
  return true;
}
