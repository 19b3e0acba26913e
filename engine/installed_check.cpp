#include "engine/installed_check.h"

#include <string>
#include <utility>
#include <vector>

#include "engine/file_digests.h"
#include "engine/patch_job.h"
#include "platform/prompt.h"

namespace {

constexpr std::size_t kNamed = 3;

using NotInstalled = std::vector<std::pair<std::string, std::string>>;  // key, why

bool FailOver(PatchJob& job, const NotInstalled& files) {
  if (files.empty()) return true;
  std::string named;
  for (std::size_t i = 0; i < files.size() && i < kNamed; ++i) {
    named += (i == 0 ? "" : "; ") + files[i].first + " (" + files[i].second + ")";
  }
  if (files.size() > kNamed) named += "; and " + std::to_string(files.size() - kNamed) + " more";
  const std::string count =
      files.size() == 1 ? "1 file was" : std::to_string(files.size()) + " files were";
  SetFailureReason(job, count + " not installed: " + named);
  platform::ShowAppMessage(count + " not installed: " + named +
                           ".\nEvery other file was installed; the next run tries again.");
  SetState(job, PatchState::Failed);
  return false;
}

}  // namespace

bool CheckListedFilesInstalled(PatchJob& job) {
  NotInstalled files;
  for (const auto& [key, digests] : job.files) {
    if (IsZeroDigest(digests.listed) || digests.installed == digests.listed) continue;
    auto failure = job.fileFailures.find(key);
    files.emplace_back(
        key, failure != job.fileFailures.end() ? failure->second : "its package was not unpacked");
  }
  return FailOver(job, files);
}

bool CheckNoFileFailed(PatchJob& job) {
  return FailOver(job, NotInstalled(job.fileFailures.begin(), job.fileFailures.end()));
}
