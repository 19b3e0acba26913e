#include "engine/folder_verify.h"

#include <optional>

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/local_check.h"
#include "engine/patch_job.h"
#include "engine/worker.h"
#include "platform/files.h"
#include "platform/prompt.h"

namespace {

bool VerifyListedFiles(PatchJob& job, FolderReport& report) {
  BeginStage(job, ConfigText(job, "Msg", "LocalFile", "Checking Local Files"));
  std::optional<std::string> list = platform::ReadWholeFile("filelist.log");
  if (!list) {
    platform::ShowAppMessage(
        "There is no filelist.log to verify the game folder against: run the patcher once.");
    return false;
  }
  FileDigestMap files;
  ReadFileList(*list, files);
  SetStageRange(job, files.size());
  for (const auto& [key, digests] : files) {
    if (CurrentState(job) == PatchState::Stop) return false;
    CountStageItem(job, key);
    ++report.listed;
    if (!platform::StampOf("." + key)) {
      report.differences.push_back({key, true});
    } else if (DigestOfGameFile(key) != digests.listed) {
      report.differences.push_back({key, false});
    }
  }
  return true;
}

}  // namespace

void RunVerifyWorker(PatchJob& job, FolderReport& report) {
  RunHoldingGameFolder(job, [&report](PatchJob& held) { return VerifyListedFiles(held, report); });
}
