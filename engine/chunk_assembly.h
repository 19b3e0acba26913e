#pragma once

#include <string>

#include "engine/chunk_index.h"
#include "engine/chunk_match.h"

struct PatchRun;

// The folder below temp\ where the chunks fetched for `key` wait, each under its SHA-256 in
// hex: kept across runs, so a run that ended midway need not fetch them again.
std::string ChunkFolderOf(const std::string& key);

// Writes the index's file beside `target` (a path below the game folder) as
// TARGET.unpacking, each chunk from the old copy where `old` places it and else from
// `chunkFolder`, checking each chunk's SHA-256 and the whole file's MD5 and SHA-256 against
// the index, and only then moves it over the target. False, with why, when anything failed
// (a chunk missing or wrong, the disk's reserve, a target that cannot be written): the target
// is then as it was.
bool AssembleFromChunks(PatchRun& run, const std::string& target, const ChunkIndex& index,
                        const OldChunks& old, const std::string& chunkFolder, std::string& why);
