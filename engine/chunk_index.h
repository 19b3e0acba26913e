#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/content_chunks.h"
#include "engine/md5.h"
#include "platform/signature.h"

// Beside its package, a large file is served as chunks (cut by content_chunks.h) that every
// release shares, and an index of them:
//
//   chunks/HH/SHA256      a chunk, named by the 64 hex digits of its content's SHA-256, in a
//                         folder of their first two
//   indexes/MD5           the index of the file whose MD5 (32 hex digits) filelist.log lists
//
// Both are named by their content, so neither ever changes once written.
//
// A chunk file: byte 0 is how the rest holds the chunk: 0 as it is, 1 zlib-compressed
// (RFC 1950).
//
// An index, integers little-endian:
//
//   offset  size  content
//   0       4     "VCIX"
//   4       4     layout version, 1
//   8       8     the file's size in bytes
//   16      16    its MD5
//   32      32    its SHA-256
//   64      4     how it was cut: kGearCutting
//   68      12    ChunkParams: least, average, most
//   80      4     N, the number of chunks
//   84      40N   per chunk in file order: its size, the size of its chunk file, its SHA-256
//
// The chunks' sizes add up to the file's; each but the last is at least `least` long, none
// longer than `most`.
struct ChunkEntry {
  std::uint32_t size = 0;
  std::uint32_t stored = 0;  // of its chunk file
  platform::Sha256Digest sha256{};
  bool operator==(const ChunkEntry&) const = default;
};

struct ChunkIndex {
  std::uint64_t size = 0;
  Digest md5{};
  platform::Sha256Digest sha256{};
  ChunkParams params;
  std::vector<ChunkEntry> chunks;
  bool operator==(const ChunkIndex&) const = default;
};

constexpr std::uint8_t kChunkStored = 0;
constexpr std::uint8_t kChunkDeflated = 1;

std::string ChunkIndexBytes(const ChunkIndex& index);
// The most bytes a sound index of a file of `size` bytes can have, whatever its parameters.
std::uint64_t LargestChunkIndexOf(std::uint64_t size);
// The index in `bytes`; none, with why, unless they are one in exactly the layout above.
std::optional<ChunkIndex> ParseChunkIndex(std::string_view bytes, std::string& why);

// Names in the server folder.
std::string IndexNameOf(const Digest& md5);
std::string ChunkNameOf(const platform::Sha256Digest& sha256);

// A chunk's file: compressed at `level` unless that does not pay.
std::string EncodeChunk(std::string_view content, int level);
// The chunk that `stored` holds, when it is exactly the one `entry` names (its size and
// SHA-256); none, with why, for anything else.
std::optional<std::string> DecodeChunk(std::string_view stored, const ChunkEntry& entry,
                                       std::string& why);

platform::Sha256Digest Sha256Of(std::string_view bytes);
