#pragma once

#include <cstdint>
#include <string>

#include "engine/release_manifest.h"

struct PatchJob;

constexpr const char* kManifestName = "release.sig";
// The largest release.sig taken: a line of about 150 bytes for each of a million files.
constexpr std::int64_t kLargestManifest = 256 << 20;
// The last release number this game folder accepted, as decimal text.
constexpr const char* kAcceptedReleaseName = "localRelease.log";

// Fetches release.sig from the connected server and takes it as the job's manifest when the
// job's key signed it and its release is not older than the last one the folder accepted;
// then that release is recorded as accepted. Otherwise the player is told why, the run is
// to end with nothing changed, and false.
bool FetchReleaseManifest(PatchJob& job);

// Whether what arrived as the server file `name` is what the manifest lists for it.
bool MatchesManifest(const ReleaseManifest& manifest, const std::string& name,
                     const ManifestEntry& arrived);
