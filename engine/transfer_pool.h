#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/outcome.h"

struct PatchRun;

// How many files a download stage fetches at once: the run's own choice, else patch.sys's
// [Download] Transfers, else kDefaultTransfers; from 1 to kMostTransfers. On a link far from
// the server each file costs a round trip before its first byte, and several at once hide it.
constexpr int kDefaultTransfers = 8;
constexpr int kMostTransfers = 32;
int TransfersOf(const PatchRun& run);

// Packages up to this size arrive in memory rather than in temp\: a first install of many
// small files then writes each once, as its content. Large ones keep temp\, so they resume.
constexpr std::size_t kInMemoryUpTo = 1 << 20;

class HttpConnection;

// What one transfer brought of one item.
struct Fetched {
  Outcome outcome;
  bool resumed = false;  // put together from a part kept before
  bool told = false;     // its failure is the one the player was told of
  std::optional<std::string> inMemory;
};

// Fetches item `index` over `connection`, its transfer's own, on that transfer's thread.
// `giveBack`, for a server that answers busy, puts the item back for the transfers that go on
// and is true when it did. None ends this transfer: it gave its item back, or has nothing to
// say after another's failure.
using FetchItem = std::function<std::optional<Fetched>(
    HttpConnection& connection, std::size_t index, const std::function<bool()>& giveBack)>;
// Takes what arrived of item `index`, on the thread that called RunTransfers.
using TakeItem = std::function<Outcome(std::size_t index, Fetched& fetched)>;

// Fetches items 0 to count - 1 over up to TransfersOf(run) connections to the run's server at
// once, each on a thread of its own, and hands every item that arrived to `take` as soon as
// it has, while the others go on. No item begins after a stop, a failed fetch or a `take` that
// did not go on; those under way end first, and what arrives of them is taken too. Items in
// memory that wait for `take` hold up further fetches past 8 MiB, so memory stays bounded
// however fast the network. GoOn once every item arrived and was taken; else the failure that
// was told (the first), or Stopped.
Outcome RunTransfers(PatchRun& run, std::size_t count, const FetchItem& fetch,
                     const TakeItem& take);

// Takes one package that arrived whole, on the thread that called FetchAtOnce: in temp\, or
// in `inMemory` when it came there.
using ArrivedPackage = std::function<Outcome(const std::string& key, bool resumed,
                                             const std::optional<std::string>& inMemory)>;

// With a signed release, adds the packages' sizes to the stage's total, so that it is known
// before their first byte; false, and nothing added, without one or when it lacks a package.
bool CountSignedPackageSizes(PatchRun& run, const std::vector<std::string>& keys);

// Fetches the package of each key into temp\ by RunTransfers, and hands each to `arrived`. The
// first failure tells the player; the others end without a word. Each answer adds its length
// to the stage's total unless `totalCounted`.
Outcome FetchAtOnce(PatchRun& run, const std::vector<std::string>& keys, bool totalCounted,
                    const ArrivedPackage& arrived);
