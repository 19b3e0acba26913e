#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/outcome.h"

class HttpConnection;
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

// One of the transfers of a run, of which several may run at once, each on its own thread.
struct Transfer {
  HttpConnection& connection;  // its own; no other transfer uses it meanwhile
  std::string shownAs;         // the item text while it moves: the file as the player knows it
  bool totalCounted = false;   // its length is already in the stage's total
  // A Staged file of at most this many bytes, with no part kept from before, arrives in
  // memory instead of temp\: it costs no writes there, and is too small to need resuming.
  std::size_t inMemoryUpTo = 0;
  // Shared by transfers that run at once: the first of them that fails tells the player and
  // is kept here; the rest fail without a word (a server gone down fails them all). None:
  // every failure tells.
  std::atomic<const Transfer*>* teller = nullptr;
  // Asked when the server answers that it is busy (HTTP 429 or 503, as one that allows an
  // address only so many connections does): true when the file went back to the transfers
  // that go on, and this one ends without a word. None: busy is a failure like another.
  std::function<bool()> giveWay = nullptr;
};

// What one transfer of several brought.
struct Received {
  bool resumed = false;                 // put together from a part kept before
  std::optional<std::string> inMemory;  // the file, when it arrived in memory, not in temp\.
  bool gaveWay = false;                 // the server was busy: the file went back
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
// The same, Staged, over one transfer of several: it touches nothing of the run that another
// transfer writes but the job, the reserve and `webPageAnswered`, which take that.
Outcome DownloadFile(PatchRun& run, const Transfer& transfer, const std::string& name,
                     Received& received);
// InPlace, and only once `check` finds the whole file sound: a refused file leaves the local
// one as it was, and the player is told why.
Outcome DownloadFile(PatchRun& run, const std::string& name, const FileCheck& check);
