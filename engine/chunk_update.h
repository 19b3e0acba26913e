#pragma once

#include <string>
#include <vector>

#include "engine/package_fetch.h"

struct PatchRun;

// Brings each changed large file of `keys` whose old copy is on the disk to its listed content
// by the chunks the server holds beside its package: fetches the file's index, finds which of
// its chunks the old copy holds, fetches only the others (several at once; those a run that
// ended midway left in temp\ are not fetched again), and puts the new file together beside the
// old one before it takes its place. A file goes back to its package, without a box, when
// the server has no index for it, when its chunks would cost more than about 60 % of the
// package, or when anything of them is missing or wrong; a note tells the last why. Every
// file's plan comes first, so that the stage's total holds the bytes to come before the
// first of them, with a signed release the packages' too.
struct PackagesLeft {
  std::vector<std::string> keys;  // whose packages must still be fetched; all left on a stop
  PackageSizes sizes = PackageSizes::CountHere;
};
PackagesLeft UpdateByChunks(PatchRun& run, const std::vector<std::string>& keys);
