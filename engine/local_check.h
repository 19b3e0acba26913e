#pragma once

#include <string>

struct PatchJob;
class FileDigestMap;

// Stage 1: fills the job's map with the game folder. The first run walks the whole folder
// and digests every file, then saves the status log; later runs read the log instead.
bool CheckLocalFiles(PatchJob& job);

// Adds every file below the folder "." + prefix (prefix "\" for the game folder itself) with
// zero digests, keyed prefix + its path.
void WalkFolder(FileDigestMap& files, const std::string& prefix);

// Digests every file of the map into `installed` and `fetched`, then saves the status log.
// A stop request ends it without saving. A file that cannot be read keeps zero digests.
bool DigestAllFiles(PatchJob& job);
