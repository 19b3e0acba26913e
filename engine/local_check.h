#pragma once

#include <string>

#include "engine/file_digests.h"
#include "engine/outcome.h"

struct PatchRun;

// The first stage: fills the run's map with the game folder. The first run walks the whole folder
// and digests every file, then saves the status log; later runs read the log and the stamps
// instead, and leave it to CheckListedFiles to see what changed since.
Outcome CheckLocalFiles(PatchRun& run);

// Adds every file below the folder "." + prefix (prefix "\" for the game folder itself) with
// zero digests, keyed prefix + its path. Folders reached through a link are left out.
void WalkFolder(FileDigestMap& files, const std::string& prefix);

// Digests every file of the map into `installed` and `fetched`, then saves the status log.
// A stop request ends it without saving. A file that cannot be read keeps zero digests.
Outcome DigestAllFiles(PatchRun& run);

// The digest of the game file `key` names (\data\a.dat); none when it cannot be read.
Digest DigestOfGameFile(const std::string& key);

// Takes the file's stamp, then its digest into `installed`: a change while it is read moves
// its time past the stamp, so the next run looks again. A missing file gets neither.
void TakeStock(const std::string& key, FileDigests& digests);
