#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/chunk_index.h"
#include "engine/md5.h"
#include "platform/files.h"

// A file this large is also served as chunks beside its package. Below it a patch costs a
// package of at most 4 MiB, while an index and its requests cost about a round trip per 64 KiB
// chunk that changed.
constexpr std::uint64_t kChunkedFrom = 4 << 20;

// zlib level of the chunks: the fastest, as the package's deflate already takes the time.
constexpr int kChunkLevel = 1;

struct ChunkWork {
  std::size_t indexesWritten = 0;
  std::size_t indexesKept = 0;
  std::size_t chunksWritten = 0;
  std::size_t chunksKept = 0;
  std::uint64_t chunkBytes = 0;  // of the chunk files written
};

// The chunks and indexes of a publish's large files (chunk_index.h has their names and
// layouts). Chunks go in as they are cut; the indexes wait until Finish has put every chunk
// on the disk, so that no index names a chunk that a crash lost. Each failure throws a
// PublishError naming the file.
class ChunkStore {
 public:
  explicit ChunkStore(const std::filesystem::path& serverDir) : serverDir_(serverDir) {}

  // Cuts the open file of `key`, whose content has the MD5 `md5`, unless the folder holds a
  // sound index of that content with all its chunks. The index's name either way.
  std::string Add(platform::File& source, const std::string& key, const Digest& md5);
  // Puts the chunks on the disk, then writes the indexes, each on the disk.
  void Finish();

  const ChunkWork& work() const { return work_; }

 private:
  struct PendingIndex {
    std::string name;
    std::string bytes;
  };

  bool HoldsIndex(const std::string& name, const Digest& md5, std::uint64_t size) const;
  ChunkEntry PutChunk(std::string_view chunk);

  std::filesystem::path serverDir_;
  std::vector<PendingIndex> pending_;
  bool wroteChunks_ = false;
  ChunkWork work_;
};
