#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/content_chunks.h"
#include "platform/files.h"

// The chunks of an open file from its current position, one after another, read through one
// buffer whatever the file's size.
class FileChunks {
 public:
  FileChunks(platform::File& file, const ChunkParams& params);

  // The next chunk, valid until the next call; false at the end or when a read fails.
  bool Next(std::string_view& chunk);
  bool failed() const { return failed_; }
  // Where the last chunk Next gave starts in the file, from where reading began.
  std::uint64_t offset() const { return offset_; }

 private:
  void Refill();

  platform::File& file_;
  const ChunkParams params_;
  const std::size_t capacity_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t begin_ = 0;  // of what is at hand and not yet given
  std::size_t end_ = 0;
  bool atEnd_ = false;
  bool failed_ = false;
  std::uint64_t offset_ = 0;
  std::uint64_t given_ = 0;  // bytes given so far
};
