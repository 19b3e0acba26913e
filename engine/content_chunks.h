#pragma once

#include <cstddef>
#include <cstdint>

// Where a large file is cut into chunks, by its content alone: a cut falls where the hash of
// the last 64 bytes (a gear hash: each byte shifts the hash left and adds the byte's entry of
// a fixed table) has its top bits clear. The same bytes are cut at the same places wherever
// they stand, so an insertion changes only the chunks around it. Before `average` bytes a cut
// needs more bits clear, after it fewer, which keeps most chunks near `average`.
//
// The table, the bits and the parameters are fixed forever once a release was published with
// them: each index names the parameters its file was cut with, and `kGearCutting` the rest.
constexpr std::uint32_t kGearCutting = 1;

struct ChunkParams {
  std::uint32_t least = 0;    // no chunk but a file's last is shorter
  std::uint32_t average = 0;  // a power of two
  std::uint32_t most = 0;     // no chunk is longer
  bool operator==(const ChunkParams&) const = default;
};

// What the publisher cuts with: about 64 KiB a chunk, so a change of one byte costs one chunk.
constexpr ChunkParams kChunkParams{16 << 10, 64 << 10, 256 << 10};

// The bytes the gear hash looks at before a cut; no chunk but a file's last is shorter.
constexpr std::uint32_t kGearWindow = 64;

// Whether the patcher can cut with these (read from an index, which nothing vouches for):
// kGearWindow <= least <= average <= most <= 4 MiB, average a power of two.
bool AreSoundParams(const ChunkParams& params);

// The length of the chunk that starts at `bytes`: `size` bytes are at hand, at least
// `params.most` of them unless the file ends with them. Sound params only.
std::size_t ChunkLength(const std::uint8_t* bytes, std::size_t size, const ChunkParams& params);
