#include "engine/release_check.h"

#include <optional>

#include "engine/accepted_release.h"
#include "engine/download_file.h"
#include "engine/http_connection.h"
#include "engine/patch_run.h"
#include "engine/state_file.h"
#include "platform/files.h"
#include "platform/prompt.h"

namespace {

Outcome Refuse(const std::string& why) {
  platform::ShowAppMessage("The patch server's release cannot be trusted: " + why +
                           ".\nNothing was changed.");
  return Outcome::Failed();
}

}  // namespace

Outcome FetchReleaseManifest(PatchRun& run) {
  const std::string staged = std::string("temp\\") + kManifestName;
  run.manifest.reset();
  // The download stops past the largest manifest, and so does the read.
  const bool fetched = static_cast<bool>(DownloadFile(run, kManifestName, Arrival::Staged));
  std::optional<std::string> text =
      fetched ? ReadStateFile(staged, kLargestManifest) : std::nullopt;
  platform::RemoveFile(staged);
  if (StopAsked(run)) return Outcome::Stopped();
  if (!text) return Refuse("its release.sig could not be fetched");
  return TakeSignedRelease(run, *text);
}

Outcome TakeSignedRelease(PatchRun& run, const std::string& text) {
  std::string why;
  std::optional<ReleaseManifest> manifest = ReadSignedManifest(text, *run.inputs.releaseKey, why);
  if (!manifest) return Refuse(why);
  const AcceptedRelease accepted = ReadAcceptedRelease(*run.inputs.releaseKey);
  const bool known = accepted.state == AcceptedRelease::State::Known;
  if (known && manifest->release < accepted.number) {
    return Refuse("it is release " + std::to_string(manifest->release) + ", older than release " +
                  std::to_string(accepted.number) +
                  " which this game folder already had; an older release may hold flaws "
                  "that were mended since");
  }
  if ((!known || manifest->release > accepted.number) &&
      !RecordAcceptedRelease(text, manifest->release, why)) {
    return Refuse("the game folder's record of the releases it accepted cannot be written (" + why +
                  ")");
  }
  // Only what is on this computer damages the record, never the network: the server's
  // signed release is the best there is to start it anew from.
  if (accepted.state == AcceptedRelease::State::Damaged) {
    TellNote(run, std::string("the game folder's record of the last release it accepted (") +
                      kAcceptedReleaseName + ", " + kAcceptedCopyName +
                      ") was damaged; it now records the server's release " +
                      std::to_string(manifest->release));
  }
  run.manifest = std::move(manifest);
  return Outcome::GoOn();
}

bool MatchesManifest(const ReleaseManifest& manifest, const std::string& name,
                     const ManifestEntry& arrived) {
  auto listed = manifest.files.find(name);
  return listed != manifest.files.end() && listed->second == arrived;
}
