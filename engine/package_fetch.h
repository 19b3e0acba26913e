#pragma once

#include <string>
#include <vector>

struct PatchJob;

// Downloads the package of each key into temp\, in order, and records it as fetched; a stop
// ends the loop before the next key. A failed download saves what came before it and ends
// the run: state Failed, and false.
bool FetchPackages(PatchJob& job, const std::vector<std::string>& keys);

// What a download stage does at its end: saves what it fetched and unpacks everything
// waiting; a package that proved damaged where a whole fetch may mend it is fetched whole and
// unpacked once more. False on a stop before the unpacking (left as Stop), or on a stop
// within it, a failed download or a disk too full (state Failed). The files that could not be
// installed are in the job's `fileFailures`.
bool SaveAndUnpackFetched(PatchJob& job);
