#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/disk_reserve.h"
#include "engine/file_digests.h"
#include "engine/http_connection.h"
#include "engine/outcome.h"
#include "engine/patch_job.h"
#include "engine/release_manifest.h"
#include "platform/clock.h"
#include "platform/signature.h"

// What whoever starts a run gives it besides the window's zone and patch.sys.
struct RunInputs {
  // The operator's key, when the program was built with one: then every file the run fetches
  // must be as the release.sig of the run's server lists it.
  std::optional<platform::P256PublicKey> releaseKey;
  // A repair: every listed file is digested, whatever its stamp says.
  bool digestEveryListedFile = false;
  // Told of every request of the run's connection as it ends. None: nobody listens.
  HttpConnection::RequestLog requestLog;
  // Where the run tells what the player or operator should know and that does not fail it
  // (a damaged record replaced, say); called on the worker thread. None: nobody listens.
  std::function<void(const std::string&)> tellNote;
  // How many files the download stages fetch at once; none: as patch.sys says, else 8.
  std::optional<int> transfers;
  // The clock the server choice reads; tests set their own.
  std::function<std::int64_t()> secondsNow = platform::SecondsNow;
};

// One run's own things, which the worker alone touches, but for what its transfers share while
// several run at once: `job`, `reserve` and `webPageAnswered`, and what they only read
// (`inputs`, `manifest`). The window polls `job` only: its texts, counters and state, and the
// stop request it writes there.
struct PatchRun {
  explicit PatchRun(PatchJob& record, RunInputs given = {});
  PatchRun(const PatchRun&) = delete;
  PatchRun& operator=(const PatchRun&) = delete;

  PatchJob& job;
  RunInputs inputs;
  // The zone the server choice settled on: the window's, else the first of patch.sys.
  std::string zone;
  HttpConnection connection;
  FileDigestMap files;
  std::uint16_t port = 0;  // chosen by the server choice
  // The first listed key no file can be made for, and why; the run installs the rest, then
  // fails with it.
  std::string refusedName;
  // The listed files this run could not install, by key, with why; the run fails naming them.
  std::map<std::string, std::string> fileFailures;
  // Keys whose package proved damaged or stale at the unpacking, to be fetched whole once
  // more, with why.
  std::map<std::string, std::string> fetchAgain;
  // The entries of `files` in key order as the status log and its stamps last held them;
  // none before either was read or saved.
  std::optional<std::vector<FileDigests>> savedFiles;
  // With a release key: the release.sig of this run's server, once fetched and trusted.
  std::optional<ReleaseManifest> manifest;
  // Set when the network answered a request with a web page of its own (a sign-in page): a
  // run that then fails ends by asking the player to sign in to the network.
  std::atomic<bool> webPageAnswered{false};
  // Every write of the run keeps the disk's reserve free.
  DiskReserve reserve;
};

// Whether the window asked the run to stop; read between items, without the lock.
inline bool StopAsked(const PatchRun& run) { return CurrentState(run.job) == PatchState::Stop; }

inline void TellNote(const PatchRun& run, const std::string& note) {
  if (run.inputs.tellNote) run.inputs.tellNote(note);
}

// A text of the run's patch.sys, as every stage looks up its captions and messages.
std::string ConfigText(const PatchRun& run, const std::string& section, const std::string& key,
                       const std::string& fallback);

// Shows `reason` beside the box the player is about to see, and is the failure to return.
Outcome Failure(PatchRun& run, const std::string& reason);

// The same for the disk's reserve, reached while `name` was written: no server can help.
Outcome DiskFullFailure(PatchRun& run, const std::string& name);

// The state a run that ended with `outcome` leaves for the window, a stop aside.
PatchState EndStateOf(const Outcome& outcome);
