#pragma once

#include <cstdint>
#include <string>

#include "engine/outcome.h"
#include "engine/release_manifest.h"

struct PatchRun;

constexpr const char* kManifestName = "release.sig";
// The largest release.sig taken: a line of about 150 bytes for each of a million files.
constexpr std::uint64_t kLargestManifest = 256 << 20;

// Fetches release.sig from the connected server and takes it as the run's manifest when the
// run's key signed it and its release is not older than the last one the folder accepted;
// then a newer release is recorded as accepted (engine/accepted_release.h). A record found
// damaged is started anew from this release, and the run's note says so. Otherwise the player
// is told why, and the run is to end with nothing changed: Failed (Stopped on a stop).
Outcome FetchReleaseManifest(PatchRun& run);
// The same for release.sig's text once fetched.
Outcome TakeSignedRelease(PatchRun& run, const std::string& text);

// Whether what arrived as the server file `name` is what the manifest lists for it.
bool MatchesManifest(const ReleaseManifest& manifest, const std::string& name,
                     const ManifestEntry& arrived);
