#pragma once

#include <string>
#include <vector>

#include "engine/outcome.h"

struct PatchRun;

// Whether the stage's total counts the packages' signed sizes already.
enum class PackageSizes { CountHere, CountedBefore };

// Downloads the package of each key into temp\, several at once, records each as fetched
// when it arrives and unpacks it meanwhile; the status log is saved every few seconds, so a
// run killed midway loses little. The stage counts a file when it is unpacked. A stop ends
// the downloads and the unpacking, and goes on to the caller's save. A failed download lets
// those under way end, and ends the run with the download's failure.
Outcome FetchPackages(PatchRun& run, const std::vector<std::string>& keys,
                      PackageSizes sizes = PackageSizes::CountHere);
// The same, saving the status log on a failure: what arrived need not be fetched again.
Outcome FetchPackagesSavingOnFailure(PatchRun& run, const std::vector<std::string>& keys,
                                     PackageSizes sizes = PackageSizes::CountHere);

// What a download stage does at its end: saves what it fetched and unpacks everything
// waiting; a package that proved damaged where a whole fetch may mend it is fetched whole and
// unpacked once more. Stopped on a stop, before the unpacking or within it; otherwise the
// failure of a download, of the save or of a disk too full. The files that could not be
// installed are in the run's `fileFailures`.
Outcome SaveAndUnpackFetched(PatchRun& run);
