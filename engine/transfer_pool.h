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

// Takes one package that arrived whole, on the thread that called FetchAtOnce: in temp\, or
// in `inMemory` when it came there.
using ArrivedPackage = std::function<Outcome(const std::string& key, bool resumed,
                                             const std::optional<std::string>& inMemory)>;

// Fetches the package of each key into temp\ over up to TransfersOf(run) connections to the
// run's server at once, each on a thread of its own, and hands every package that arrived to
// `arrived` as soon as it has, while the others go on. No download begins after a stop, a
// failure or an `arrived` that did not go on; those under way end first, and what arrives of
// them is handed over too. Packages in memory that wait for `arrived` hold up further
// downloads past 8 MiB, so memory stays bounded however fast the network. GoOn once every
// package arrived and was taken; else the failure that was told (the first), or Stopped.
Outcome FetchAtOnce(PatchRun& run, const std::vector<std::string>& keys,
                    const ArrivedPackage& arrived);
