#include "engine/folder_verify.h"

#include <memory>
#include <optional>

#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/installable_name.h"
#include "engine/md5.h"
#include "engine/patch_run.h"
#include "engine/state_file.h"
#include "engine/worker.h"
#include "platform/files.h"
#include "platform/prompt.h"

namespace {

using Kind = FolderReport::Difference::Kind;

// A stop is looked for after each block: a file of many GiB must not hold it for minutes.
constexpr std::size_t kBlockSize = 1 << 20;

// The file's digest; none when a read fails or a stop came.
std::optional<Digest> DigestUnlessStopped(PatchRun& run, platform::File& file) {
  auto block = std::make_unique_for_overwrite<char[]>(kBlockSize);
  Md5Stream digest;
  for (;;) {
    if (StopAsked(run)) return std::nullopt;
    const std::int64_t got = file.Read(block.get(), kBlockSize);
    if (got < 0) return std::nullopt;
    if (got == 0) return digest.Finish();
    digest.Add(block.get(), static_cast<std::size_t>(got));
  }
}

// How the file `key` names differs from `listed`; none when it does not. The name is
// checked before anything by it is opened: the list may name any path at all.
std::optional<FolderReport::Difference> Compare(PatchRun& run, const std::string& key,
                                                const Digest& listed, std::size_t folderLength) {
  if (std::optional<std::string> why = WhyNotInstallable(key, folderLength)) {
    return FolderReport::Difference{key, Kind::Refused, "no game file can have it: " + *why};
  }
  const std::string name = "." + key;
  switch (platform::KindOf(name)) {
    case platform::EntryKind::Missing:
      return FolderReport::Difference{key, Kind::Missing, ""};
    case platform::EntryKind::Folder:
      return FolderReport::Difference{key, Kind::Refused, "a folder"};
    case platform::EntryKind::Other:
      return FolderReport::Difference{key, Kind::Refused, "a device, a pipe or a socket"};
    case platform::EntryKind::File:
      break;
  }
  if (!platform::LiesInsideCurrentDirectory(name)) {
    return FolderReport::Difference{key, Kind::Refused, "a link that leads out of the game folder"};
  }
  platform::File file;
  if (!file.Open(name, platform::FileMode::Read, platform::FileShare::Read)) {
    return FolderReport::Difference{key, Kind::Differs, platform::LastErrorText()};
  }
  const std::optional<Digest> digest = DigestUnlessStopped(run, file);
  if (digest && *digest == listed) return std::nullopt;
  if (!digest && !StopAsked(run)) {
    return FolderReport::Difference{key, Kind::Differs, platform::LastErrorText()};
  }
  return FolderReport::Difference{key, Kind::Differs, ""};
}

Outcome VerifyListedFiles(PatchRun& run, FolderReport& report) {
  BeginStage(run.job, ConfigText(run, "Msg", "LocalFile", "Checking Local Files"));
  platform::WholeFile list = platform::ReadRegularFile("filelist.log", kLargestFileList);
  if (list.missing) {
    platform::ShowAppMessage(
        "There is no filelist.log to verify the game folder against: run the patcher once.");
    return Outcome::Failed();
  }
  if (!list.bytes) {
    platform::ShowAppMessage("The game folder's filelist.log cannot be read (" + list.why +
                             "): run the patcher once to fetch it again.");
    return Outcome::Failed();
  }
  FileDigestMap files;
  ReadFileList(*list.bytes, files);
  SetStageRange(run.job, files.size());
  const std::size_t folderLength = platform::CurrentDirectory().size();
  for (const auto& [key, digests] : files) {
    if (StopAsked(run)) return Outcome::Stopped();
    CountStageItem(run.job, key);
    ++report.listed;
    std::optional<FolderReport::Difference> difference =
        Compare(run, key, digests.listed, folderLength);
    if (StopAsked(run)) return Outcome::Stopped();
    if (difference) report.differences.push_back(std::move(*difference));
  }
  return Outcome::GoOn();
}

}  // namespace

void RunVerifyWorker(PatchJob& job, FolderReport& report) {
  RunHoldingGameFolder(job, {},
                       [&report](PatchRun& run) { return VerifyListedFiles(run, report); });
}
