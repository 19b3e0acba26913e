#include "engine/installed_check.h"

#include <string>
#include <utility>
#include <vector>

#include "engine/file_digests.h"
#include "engine/patch_run.h"
#include "platform/prompt.h"

namespace {

constexpr std::size_t kNamed = 3;

using NotInstalled = std::vector<std::pair<std::string, std::string>>;  // key, why

Outcome FailOver(PatchRun& run, const NotInstalled& files) {
  if (files.empty()) return Outcome::GoOn();
  std::string named;
  for (std::size_t i = 0; i < files.size() && i < kNamed; ++i) {
    named += (i == 0 ? "" : "; ") + files[i].first + " (" + files[i].second + ")";
  }
  if (files.size() > kNamed) named += "; and " + std::to_string(files.size() - kNamed) + " more";
  const std::string count =
      files.size() == 1 ? "1 file was" : std::to_string(files.size()) + " files were";
  Outcome failed = Failure(run, count + " not installed: " + named);
  platform::ShowAppMessage(count + " not installed: " + named +
                           ".\nEvery other file was installed; the next run tries again.");
  return failed;
}

}  // namespace

Outcome CheckListedFilesInstalled(PatchRun& run) {
  NotInstalled files;
  for (const auto& [key, digests] : run.files) {
    if (IsZeroDigest(digests.listed) || digests.installed == digests.listed) continue;
    auto failure = run.fileFailures.find(key);
    files.emplace_back(
        key, failure != run.fileFailures.end() ? failure->second : "its package was not unpacked");
  }
  return FailOver(run, files);
}

Outcome CheckNoFileFailed(PatchRun& run) {
  return FailOver(run, NotInstalled(run.fileFailures.begin(), run.fileFailures.end()));
}
