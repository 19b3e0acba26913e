#pragma once

#include <string>

#include "engine/outcome.h"

struct FileDigests;
struct PatchRun;

// Unpacks every package waiting in temp\ into its place in the game folder, deleting each
// once unpacked and recording the server's digest as installed. A package fetched in this run
// must install exactly the file it was fetched for: one that cannot (not a package, another
// file's trailer, broken or other content, a target that cannot be written) fails that file
// alone, into the run's `fileFailures`, and the first such failure is shown. A package whose
// content proves wrong although it may be mended by a whole fetch (resumed from a part, or
// left by an earlier run) goes without a word, and its key into the run's `fetchAgain`.
// Stopped on a stop; DiskFull when the disk's reserve ends the stage.
Outcome DecompressPackages(PatchRun& run);

// Unpacks the package fetched in this run for `key`, whose entry of the run's files is
// `entry`, which waits in temp\ or is `inMemory`, by the same rules, within the stage that
// fetched it.
Outcome UnpackFetched(PatchRun& run, const std::string& key, FileDigests& entry,
                      const std::string* inMemory);

// Creates the folders that a target path (data\maps\a.dat) needs below the game folder.
void MakeFolders(const std::string& target);
