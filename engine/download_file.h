#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/outcome.h"

struct PatchRun;

// What becomes of a file once it has arrived whole in temp\.
enum class Arrival {
  Staged,   // it waits there for the unpacking, which checks what it holds
  Kept,     // as Staged, and flushed to the disk, for a caller that moves it into place
  InPlace,  // flushed to the disk, then moved over the local file of the same name
};

// What a file must be to replace the local one, beyond arriving whole.
struct FileCheck {
  std::uint64_t largest = 0;  // bytes; a longer answer is refused at its first byte too many
  // Why the complete file at `path` (below the game folder) may not replace the local one;
  // none when it may.
  std::function<std::optional<std::string>(const std::string& path)> unsound;
};

// Streams the server file `name` into "temp\" + name over the run's connection, with the
// progress in the job. A file that did not arrive whole never replaces anything. A failure
// has been shown to the user, naming the file, and is returned with its reason; so has a file
// that would take the disk's reserve (nothing of it is kept: DiskFull). A stop asked for while
// the body arrives ends the download after the read in progress: Stopped, with no message.
//
// What no patch server sends is refused before its body is kept: a web page (a portal's or a
// proxy's, in place of the file), a piece (206) of a file asked for whole, and with a release
// key a length other than the signed release lists; no body is read past that length.
//
// Files whose content is checked once they are whole (Staged and Kept) resume: what arrived
// of a body that broke off waits as NAME.part, and the next attempt, in this run or a later
// one, asks only for the rest. `resumed` tells whether the file was put together so. With a
// release key, one put together that is not the listed file is fetched whole once more.
Outcome DownloadFile(PatchRun& run, const std::string& name, Arrival arrival,
                     bool* resumed = nullptr);
// InPlace, and only once `check` finds the whole file sound: a refused file leaves the local
// one as it was, and the player is told why.
Outcome DownloadFile(PatchRun& run, const std::string& name, const FileCheck& check);
