#include "engine/release_check.h"

#include <charconv>
#include <optional>

#include "engine/http_connection.h"
#include "engine/patch_job.h"
#include "engine/state_file.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "platform/replacing_file.h"

namespace {

// A line of about 150 bytes for each of a million files.
constexpr std::int64_t kLargestManifest = 256 << 20;

std::uint64_t AcceptedRelease() {
  std::optional<std::string> text = ReadStateFile(kAcceptedReleaseName, kLargestNoteFile);
  std::uint64_t number = 0;
  if (text) std::from_chars(text->data(), text->data() + text->size(), number);
  return number;
}

// Written beside and moved over, so that a crash leaves the old number or the new one.
bool RecordAccepted(std::uint64_t release, std::string& why) {
  platform::ReplacingFile file(kAcceptedReleaseName, std::string(kAcceptedReleaseName) + ".new");
  if (file.Write(std::to_string(release) + "\r\n") && file.Commit()) return true;
  why = file.failure();
  return false;
}

bool Refuse(const std::string& why) {
  platform::ShowAppMessage("The patch server's release cannot be trusted: " + why +
                           ".\nNothing was changed.");
  return false;
}

}  // namespace

bool FetchReleaseManifest(PatchJob& job) {
  const std::string staged = std::string("temp\\") + kManifestName;
  job.manifest.reset();
  const bool fetched = DownloadFile(job, kManifestName, Arrival::Staged);
  std::optional<platform::FileStamp> stamp = platform::StampOf(staged);
  // Read whole into memory, so a hostile size is refused first.
  const bool plausible = stamp && stamp->size <= kLargestManifest;
  std::optional<std::string> text =
      fetched && plausible ? ReadStateFile(staged, kLargestManifest) : std::nullopt;
  platform::RemoveFile(staged);
  if (CurrentState(job) == PatchState::Stop) return false;
  if (fetched && !plausible) return Refuse("its release.sig is larger than any manifest");
  if (!text) return Refuse("its release.sig could not be fetched");
  std::string why;
  std::optional<ReleaseManifest> manifest = ReadSignedManifest(*text, *job.releaseKey, why);
  if (!manifest) return Refuse(why);
  const std::uint64_t accepted = AcceptedRelease();
  if (manifest->release < accepted) {
    return Refuse("it is release " + std::to_string(manifest->release) + ", older than release " +
                  std::to_string(accepted) +
                  " which this game folder already had; an older release may hold flaws "
                  "that were mended since");
  }
  if (manifest->release > accepted && !RecordAccepted(manifest->release, why)) {
    return Refuse(std::string("the game folder's ") + kAcceptedReleaseName +
                  " cannot be written (" + why + ")");
  }
  job.manifest = std::move(manifest);
  return true;
}

bool MatchesManifest(const ReleaseManifest& manifest, const std::string& name,
                     const ManifestEntry& arrived) {
  auto listed = manifest.files.find(name);
  return listed != manifest.files.end() && listed->second == arrived;
}
