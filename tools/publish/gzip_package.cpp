#include "tools/publish/gzip_package.h"

#include <zlib.h>

#include <memory>

#include "engine/package.h"
#include "tools/publish/publish_error.h"
#include "tools/publish/release_names.h"

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
constexpr int kGzipWindowBits = 15 + 16;  // the largest window, with a gzip header
constexpr int kMemoryLevel = 8;

// A deflate stream that writes one gzip member, ended whatever happens.
class GzipMember {
 public:
  GzipMember(int level, ServedFile& out)
      : out_(out), buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {
    if (deflateInit2(&stream_, level, Z_DEFLATED, kGzipWindowBits, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
      throw PublishError("zlib cannot start a gzip stream at level " + std::to_string(level));
    }
  }
  ~GzipMember() { deflateEnd(&stream_); }
  GzipMember(const GzipMember&) = delete;
  GzipMember& operator=(const GzipMember&) = delete;

  // Deflates `size` bytes, writing out every buffer deflate fills; `last` ends the member.
  void Add(char* bytes, std::size_t size, bool last) {
    stream_.next_in = reinterpret_cast<Bytef*>(bytes);
    stream_.avail_in = static_cast<uInt>(size);
    const int flush = last ? Z_FINISH : Z_NO_FLUSH;
    do {
      stream_.next_out = reinterpret_cast<Bytef*>(buffer_.get());
      stream_.avail_out = static_cast<uInt>(kBufferSize);
      if (deflate(&stream_, flush) == Z_STREAM_ERROR) throw PublishError("zlib failed deflating");
      out_.Write(buffer_.get(), kBufferSize - stream_.avail_out);
    } while (stream_.avail_out == 0);
  }

 private:
  z_stream stream_{};
  ServedFile& out_;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace

PackedContent WritePackage(platform::File& source, const std::string& key, int level,
                           ServedFile& out) {
  if (!source.Seek(0)) {
    throw PublishError("cannot go back to the start of " + Quoted(ShownName(key)));
  }
  auto input = std::make_unique_for_overwrite<char[]>(kBufferSize);
  GzipMember member(level, out);
  Md5Stream digest;
  PackedContent packed;
  for (;;) {
    std::int64_t got = source.Read(input.get(), kBufferSize);
    if (got < 0) throw PublishError("cannot read " + Quoted(ShownName(key)));
    digest.Add(input.get(), static_cast<std::size_t>(got));
    member.Add(input.get(), static_cast<std::size_t>(got), got == 0);
    if (got == 0) break;
    packed.size += static_cast<std::uint64_t>(got);
  }
  out.Write(PackageTrailer(std::string_view(key).substr(1)));
  packed.digest = digest.Finish();
  return packed;
}
