#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct PatchJob;

// What a verify found: the files of the folder's filelist.log that are not as it lists them.
struct FolderReport {
  struct Difference {
    std::string key;
    bool missing = false;  // else present with other content, or unreadable
  };
  std::size_t listed = 0;
  std::vector<Difference> differences;  // in key order
};

// A worker routine that changes nothing and asks no server: holding the game folder as a
// run does, it digests every file the folder's filelist.log (the list the last run
// installed) names and reports those that differ. Fails when there is no list to read.
void RunVerifyWorker(PatchJob& job, FolderReport& report);
