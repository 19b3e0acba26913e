#include "engine/download_file.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/control_files.h"
#include "engine/disk_reserve.h"
#include "engine/http_connection.h"
#include "engine/partial_download.h"
#include "engine/patch_run.h"
#include "engine/release_check.h"
#include "engine/staging_file.h"
#include "platform/files.h"
#include "platform/prompt.h"

namespace {

constexpr std::uint32_t kChunkSize = 512;

// Whether this failure is the one the player hears of.
bool TellsFailure(const Transfer& transfer) {
  const Transfer* none = nullptr;
  return transfer.teller == nullptr || transfer.teller->compare_exchange_strong(none, &transfer);
}

// The box keeps its text; the reason goes where nothing relies on the exact words.
Outcome ReportFailure(PatchRun& run, const Transfer& transfer, const std::string& name,
                      const std::string& reason) {
  if (reason == kWebPageAnswer) run.webPageAnswered = true;
  if (!TellsFailure(transfer)) return Outcome::Failed(name + ": " + reason);
  Outcome failed = Failure(run, name + ": " + reason);
  platform::ShowMessage(name, "Error Downloading File", platform::kBoxOk, reason);
  return failed;
}

// With a release key every file but the signed manifest itself is checked against that
// manifest, which the run fetches first.
bool MustMatchManifest(const PatchRun& run, const std::string& name) {
  return run.inputs.releaseKey && name != kManifestName;
}

enum class Body { Complete, Broken, TooFull, TooLarge, Stopped };

// Reads the open request's body to its end, the file holding `have` bytes before it; never a
// byte past `largest` + 1. A stop is looked for before every read: a quit in the middle of a
// large package must not wait for the rest of it.
Body ReceiveBody(PatchRun& run, HttpConnection& connection, StagingFile& staging,
                 std::uint64_t have, std::optional<std::uint64_t> largest) {
  char chunk[kChunkSize];
  for (;;) {
    if (StopAsked(run)) return Body::Stopped;
    std::uint32_t want = kChunkSize;
    if (largest && *largest - have < kChunkSize)
      want = static_cast<std::uint32_t>(*largest - have + 1);
    // ReadFile waits for what is at hand and takes no more of it.
    std::uint32_t read = 0;
    if (!connection.ReadFile(chunk, want, read)) return Body::Broken;
    if (!staging.Append(chunk, read)) return staging.TooFull() ? Body::TooFull : Body::Broken;
    AddBytesFetched(run.job, read);
    have += read;
    if (largest && have > *largest) return Body::TooLarge;
    if (read == 0) return Body::Complete;
  }
}

// What the file may hold: the signed release's length for it, else the caller's limit.
struct Limits {
  std::optional<std::uint64_t> listed;   // exactly this long
  std::optional<std::uint64_t> largest;  // at most this long
};

// Whether the open answer's announced length, after the `from` bytes at hand, may be the
// file's rest; else the request is closed and `reason` says why.
bool LengthFits(HttpConnection& connection, const Limits& limits, std::uint64_t from,
                std::string& reason) {
  const std::optional<std::uint64_t> length = connection.ContentLength();
  if (!length) return true;
  const std::uint64_t total = *length + from;
  if (limits.listed && total != *limits.listed) {
    reason = "the server announced " + std::to_string(total) +
             " bytes where the signed release lists " + std::to_string(*limits.listed);
  } else if (!limits.listed && limits.largest && total > *limits.largest) {
    reason = "the server announced " + std::to_string(total) + " bytes, more than the " +
             std::to_string(*limits.largest) + " it may have";
  } else {
    return true;
  }
  connection.CloseRequest();
  return false;
}

// Where the answer's body goes in the file.
struct Opened {
  std::uint64_t from = 0;              // where the body starts in the file
  std::optional<std::uint64_t> total;  // the whole file's length, when told
  std::int32_t available = 0;          // bytes at hand when the request opened
};

// One request for the file, or for its rest when a part of it waits. The staging file is
// opened first (nothing is asked that could not be kept) and made to match what the answer
// holds. A range the server did not honour as asked costs a second request, for the whole
// file. None, with the reason, when no body can be received.
std::optional<Opened> OpenForBody(HttpConnection& connection, const std::string& name,
                                  const std::string& stagingName, bool resumable,
                                  const Limits& limits, StagingFile& staging, std::string& reason) {
  const std::string part = PartName(stagingName);
  std::optional<PartialDownload> partial = resumable ? FindPartial(stagingName) : std::nullopt;
  if (partial && limits.listed && partial->total != *limits.listed) {
    // Kept for a file of another length than the release lists: of no use.
    DropPartial(stagingName);
    partial.reset();
  }
  if (partial ? !staging.Resume(part, partial->have) : !staging.Create(part)) {
    reason = staging.failure();
    return std::nullopt;
  }
  for (;;) {
    std::optional<platform::HttpRange> range;
    if (partial) range = platform::HttpRange{partial->have, partial->validator};
    const std::int32_t available = connection.OpenFile(name, range);
    const std::uint32_t status = connection.Status().value_or(0);
    if (available == -1 && !(partial && status == 416)) {
      reason = connection.failure();
      return std::nullopt;
    }
    // Refused before anything changes: the part that waits stays for the network that lets
    // the server answer.
    if (available != -1 && IsWebPageType(connection.Header("Content-Type"))) {
      connection.CloseRequest();
      reason = kWebPageAnswer;
      return std::nullopt;
    }
    if (!partial && status == 206) {
      connection.CloseRequest();
      reason = "the answer is a piece of the file (HTTP 206), which was asked for whole";
      return std::nullopt;
    }
    if (partial && status == 206 &&
        ContinuesPartial(connection.Header("Content-Range").value_or(""), *partial)) {
      if (!LengthFits(connection, limits, partial->have, reason)) return std::nullopt;
      return Opened{partial->have, partial->total, available};
    }
    if (partial) {
      // The file changed, or the server answered another range: start from the first byte.
      partial.reset();
      DropPartial(stagingName);
      if (!staging.Create(part)) {
        connection.CloseRequest();
        reason = staging.failure();
        return std::nullopt;
      }
      if (status != 200) {
        connection.CloseRequest();
        continue;
      }
    }
    const std::optional<std::uint64_t> length = connection.ContentLength();
    if (!LengthFits(connection, limits, 0, reason)) return std::nullopt;
    if (length) staging.Expect(*length);
    if (length && !staging.StaysInMemory(*length) && !staging.KeepOnDisk()) {
      connection.CloseRequest();
      reason = staging.failure();
      return std::nullopt;
    }
    if (resumable && length && !staging.StaysInMemory(*length)) {
      TagPartial(stagingName, *length,
                 ValidatorOf(connection.Header("ETag"), connection.Header("Last-Modified")));
    }
    return Opened{0, length, available};
  }
}

enum class Attempt {
  Whole,    // the file is complete in its .part
  Again,    // the body broke off after it moved on: ask for the rest
  Damaged,  // put together from a part, it is not the listed file: fetch it whole
  Ended,    // a failure, told; or a stop: the fetch's `ended` says which
};

// How one download goes on over its attempts.
struct Fetch {
  const Transfer& transfer;
  const std::string& name;
  Arrival arrival;
  bool resumable = false;
  Limits limits;
  bool pieced = false;               // the file in the .part was put together from a part
  bool wholeAgain = false;           // a damaged part may still cost one whole fetch
  Outcome ended;                     // why it ended, once an attempt did
  bool totalCounted = false;         // its length is in the stage's total
  std::uint64_t counted = 0;         // of its bytes, those counted as arrived
  std::optional<std::string> bytes;  // the whole file, when it arrived in memory
  bool gaveWay = false;              // the server was busy, and another transfer takes it
};

bool IsBusy(std::optional<std::uint32_t> status) { return status == 429u || status == 503u; }

// The stage's byte counters learn of an answer: the file's length once, when told (a length
// only an answer tells grows the total now), and a part kept from before as arrived. Bytes
// that come again, after a break or for a whole fetch, count again.
void CountBytes(PatchRun& run, Fetch& fetch, const Opened& opened) {
  if (!fetch.totalCounted && opened.total) {
    AddBytesToFetch(run.job, *opened.total);
    fetch.totalCounted = true;
  }
  if (opened.from >= fetch.counted) {
    AddBytesFetched(run.job, opened.from - fetch.counted);
  } else {
    AddBytesToFetch(run.job, fetch.counted - opened.from);
  }
  fetch.counted = opened.from;
}

// One request and its body, into the file's part in temp\.
Attempt FetchOnce(PatchRun& run, Fetch& fetch, bool mayTryAgain) {
  const std::string& name = fetch.name;
  const Transfer& transfer = fetch.transfer;
  HttpConnection& connection = transfer.connection;
  DiskReserve& reserve = run.reserve;
  const std::string stagingName = "temp\\" + name;
  const bool resumable = fetch.resumable;
  StagingFile staging(reserve);
  if (fetch.arrival == Arrival::Staged) staging.KeepInMemoryUpTo(transfer.inMemoryUpTo);
  if (MustMatchManifest(run, name)) {
    if (!run.manifest) {
      fetch.ended = ReportFailure(run, transfer, name, "the signed release does not list it");
      return Attempt::Ended;
    }
    staging.HashContent();
  }
  std::string reason;
  const std::optional<Opened> opened =
      OpenForBody(connection, name, stagingName, resumable, fetch.limits, staging, reason);
  if (!opened) {
    staging.Finish(false);
    // A part that waited stays for the next attempt; an empty one is of no use.
    if (staging.Size() == 0) DropPartial(stagingName);
    if (IsBusy(connection.Status()) && transfer.giveWay && transfer.giveWay()) {
      fetch.gaveWay = true;
      fetch.ended = Outcome::Failed(name + ": " + reason);
      return Attempt::Ended;
    }
    fetch.ended = ReportFailure(run, transfer, name, reason);
    return Attempt::Ended;
  }
  fetch.pieced = opened->from > 0;
  CountBytes(run, fetch, *opened);
  const bool fits = !opened->total || reserve.Fits(*opened->total - opened->from);
  const std::optional<std::uint64_t> largest =
      fetch.limits.listed ? fetch.limits.listed : fetch.limits.largest;
  const Body body =
      fits ? ReceiveBody(run, connection, staging, opened->from, largest) : Body::TooFull;
  const bool written = staging.Finish(fetch.arrival != Arrival::Staged);
  fetch.counted = staging.Size();
  if (body == Body::Stopped) {
    // What arrived of a file that resumes waits for the next run; nothing else may stay.
    if (!resumable) DropPartial(stagingName);
    // The window need not wait for the close: WinINet reads the rest of the body first, to
    // keep the connection, and on a fast line that is the whole of a large package.
    run.job.stopTaken.store(true);
    connection.CloseRequest();
    fetch.ended = Outcome::Stopped();
    return Attempt::Ended;
  }
  reason = written ? connection.failure() : staging.failure();
  connection.CloseRequest();
  if (body == Body::TooFull || staging.TooFull()) {
    DropPartial(stagingName);
    if (!TellsFailure(transfer)) {
      fetch.ended = Outcome::DiskFull(name + ": the disk is too full");
      return Attempt::Ended;
    }
    fetch.ended = DiskFullFailure(run, name);
    platform::ShowAppMessage(reserve.TooFullMessage(name));
    return Attempt::Ended;
  }
  if (body == Body::TooLarge) {
    DropPartial(stagingName);
    fetch.ended = ReportFailure(
        run, transfer, name,
        "the answer goes on past the " + std::to_string(*largest) + " bytes the file may have");
    return Attempt::Ended;
  }
  if (body == Body::Broken && written && resumable && opened->total && mayTryAgain &&
      staging.Size() > opened->from) {
    return Attempt::Again;
  }
  if (body == Body::Broken || !written) {
    if (!resumable) DropPartial(stagingName);
    fetch.ended = ReportFailure(run, transfer, name, reason);
    return Attempt::Ended;
  }
  if (MustMatchManifest(run, name) && !MatchesManifest(*run.manifest, name, staging.Written())) {
    DropPartial(stagingName);
    // A part kept from before may be what was damaged, on the disk or by a cache between:
    // the file fetched whole tells.
    if (fetch.pieced && fetch.wholeAgain) return Attempt::Damaged;
    const std::string reason = name + ": its size or SHA-256 is not the signed release's";
    if (!TellsFailure(transfer)) {
      fetch.ended = Outcome::Failed(reason);
      return Attempt::Ended;
    }
    fetch.ended = Failure(run, reason);
    platform::ShowAppMessage(name +
                             " is not the file the signed release lists (its size or "
                             "SHA-256 differs), so it was not used.");
    return Attempt::Ended;
  }
  if (staging.InMemory()) fetch.bytes = staging.TakeBytes();
  return Attempt::Whole;
}

Outcome Download(PatchRun& run, const Transfer& transfer, const std::string& name, Arrival arrival,
                 const FileCheck* check, bool* resumed, Received* received) {
  if (resumed) *resumed = false;
  // Only what is checked once whole may be put together from pieces of different requests;
  // the signed manifest itself is what the others are checked by, so it always comes whole.
  const bool resumable = arrival != Arrival::InPlace && name != kManifestName;
  Fetch fetch{.transfer = transfer,
              .name = name,
              .arrival = arrival,
              .resumable = resumable,
              .limits = {},
              .pieced = false,
              .wholeAgain = true,
              .ended = Outcome::GoOn(),
              .totalCounted = transfer.totalCounted,
              .counted = 0,
              .bytes = std::nullopt,
              .gaveWay = false};
  if (MustMatchManifest(run, name) && run.manifest) {
    auto listed = run.manifest->files.find(name);
    if (listed != run.manifest->files.end()) fetch.limits.listed = listed->second.size;
  }
  if (check) fetch.limits.largest = check->largest;
  if (name == kManifestName) fetch.limits.largest = kLargestManifest;
  NameItem(run.job, transfer.shownAs);
  for (int attempt = 1;; ++attempt) {
    const Attempt result = FetchOnce(run, fetch, attempt < HttpConnection::kAttempts);
    if (result == Attempt::Ended) {
      if (received) received->gaveWay = fetch.gaveWay;
      return fetch.ended;
    }
    if (result == Attempt::Whole) break;
    if (result == Attempt::Damaged) {
      fetch.wholeAgain = false;
      attempt = 0;
    }
  }
  if (fetch.bytes) {
    received->inMemory = std::move(fetch.bytes);
    return Outcome::GoOn();
  }
  const std::string stagingName = "temp\\" + name;
  const std::string part = PartName(stagingName);
  if (check && check->unsound) {
    if (const std::optional<std::string> why = check->unsound(part)) {
      DropPartial(stagingName);
      return ReportFailure(run, transfer, name, *why);
    }
  }
  // The complete file takes its name in one step, and for InPlace the old one's place: a copy
  // over it would leave it cut if the run ended halfway, and for patch.sys that loses the only
  // server address.
  const std::string& placed = arrival == Arrival::InPlace ? name : stagingName;
  if (!platform::MoveFileOver(part, placed)) {
    const std::string why = platform::LastErrorText();
    DropPartial(stagingName);
    return ReportFailure(run, transfer, name, "cannot move it over " + placed + ": " + why);
  }
  DropPartial(stagingName);
  if (resumed) *resumed = fetch.pieced;
  if (received) received->resumed = fetch.pieced;
  return Outcome::GoOn();
}

}  // namespace

Outcome DownloadFile(PatchRun& run, const std::string& name, Arrival arrival, bool* resumed) {
  return Download(run, Transfer{run.connection, name}, name, arrival, nullptr, resumed, nullptr);
}

Outcome DownloadFile(PatchRun& run, const Transfer& transfer, const std::string& name,
                     Received& received) {
  return Download(run, transfer, name, Arrival::Staged, nullptr, nullptr, &received);
}

Outcome DownloadFile(PatchRun& run, const std::string& name, const FileCheck& check) {
  return Download(run, Transfer{run.connection, name}, name, Arrival::InPlace, &check, nullptr,
                  nullptr);
}
