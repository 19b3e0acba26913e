#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct PatchJob;

// What a verify found: the files of the folder's filelist.log that are not as it lists them.
struct FolderReport {
  struct Difference {
    enum class Kind {
      Missing,
      Differs,  // present with other content, or unreadable (`why` then says why)
      Refused,  // not looked at: no file of the game folder can have that name, or what has it
                // is no regular file inside the folder (`why` says which)
    };
    std::string key;
    Kind kind = Kind::Differs;
    std::string why;
  };
  std::size_t listed = 0;
  std::vector<Difference> differences;  // in key order
};

// A worker routine that changes nothing and asks no server: holding the game folder as a
// run does, it digests every file the folder's filelist.log (the list the last run
// installed) names and reports those that differ. Only regular files inside the game folder
// are read. A stop ends it within a block of a file. Fails when there is no list to read.
void RunVerifyWorker(PatchJob& job, FolderReport& report);
