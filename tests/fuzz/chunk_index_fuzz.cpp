// A chunk index as a hostile server might send it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/chunk_index.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string why;
  const std::optional<ChunkIndex> index = ParseChunkIndex(bytes, why);
  if (!index) return 0;
  // One that passed is exactly what its bytes say, and its chunks make up its file.
  std::uint64_t total = 0;
  for (const ChunkEntry& chunk : index->chunks) {
    if (chunk.size == 0 || chunk.size > index->params.most) __builtin_trap();
    total += chunk.size;
  }
  if (total != index->size || ChunkIndexBytes(*index) != bytes) __builtin_trap();
  return 0;
}
