#pragma once

#include <string>
#include <vector>

struct PatchRun;

// Brings each changed large file of `keys` whose old copy is on the disk to its listed content
// by the chunks the server holds beside its package: fetches the file's index, finds which of
// its chunks the old copy holds, fetches only the others (several at once; those a run that
// ended midway left in temp\ are not fetched again), and puts the new file together beside the
// old one before it takes its place. A file goes back to its package, without a box, when
// the server has no index for it, when its chunks would cost more than about 60 % of the
// package, or when anything of them is missing or wrong; a note tells the last why. The keys
// whose packages must still be fetched, all of them left on a stop.
std::vector<std::string> UpdateByChunks(PatchRun& run, const std::vector<std::string>& keys);
