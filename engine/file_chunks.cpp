#include "engine/file_chunks.h"

#include <cstring>

namespace {

// Reads of this size are near the disk's pace; the largest chunk fits beside them.
constexpr std::size_t kReadSize = 1 << 20;

}  // namespace

FileChunks::FileChunks(platform::File& file, const ChunkParams& params)
    : file_(file),
      params_(params),
      capacity_(kReadSize + params.most),
      buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(capacity_)) {}

bool FileChunks::Next(std::string_view& chunk) {
  if (end_ - begin_ < params_.most && !atEnd_) Refill();
  if (failed_ || begin_ == end_) return false;
  const std::size_t length = ChunkLength(buffer_.get() + begin_, end_ - begin_, params_);
  chunk = std::string_view(reinterpret_cast<const char*>(buffer_.get() + begin_), length);
  offset_ = given_;
  given_ += length;
  begin_ += length;
  return true;
}

// Moves what is left to the front and fills the rest, so a whole chunk is always at hand.
void FileChunks::Refill() {
  std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (end_ < capacity_) {
    const std::int64_t got = file_.Read(buffer_.get() + end_, capacity_ - end_);
    if (got < 0) {
      failed_ = true;
      return;
    }
    if (got == 0) {
      atEnd_ = true;
      return;
    }
    end_ += static_cast<std::size_t>(got);
  }
}
