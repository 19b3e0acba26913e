#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/chunk_index.h"

struct PatchRun;

// Where the old copy of a file holds each chunk of its new content's index: its offset there,
// or none when the old copy lacks it.
using OldChunks = std::vector<std::optional<std::uint64_t>>;

// Cuts the file at `path` as the index was cut, in one read pass, and finds the index's chunks
// among its own by their SHA-256. None, with why, when it cannot be read; also on a stop.
std::optional<OldChunks> FindOldChunks(const PatchRun& run, const std::string& path,
                                       const ChunkIndex& index, std::string& why);
