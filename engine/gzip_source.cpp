#include "engine/gzip_source.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "platform/files.h"

namespace {

class GzipFile : public GzipSource {
 public:
  explicit GzipFile(gzFile file) : file_(file) {}
  ~GzipFile() override { Close(); }

  int Read(char* buffer, unsigned size) override { return gzread(file_, buffer, size); }
  bool NotGzip() const override { return gzdirect(file_) != 0; }
  std::string Failure() const override {
    int code = 0;
    return gzerror(file_, &code);
  }
  bool Close() override {
    if (file_ == nullptr) return true;
    const bool closed = gzclose(file_) == Z_OK;
    file_ = nullptr;
    return closed;
  }

 private:
  gzFile file_;
};

constexpr unsigned char kGzipMagic[] = {0x1f, 0x8b};

bool StartsGzip(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == kGzipMagic[0] &&
         static_cast<unsigned char>(bytes[1]) == kGzipMagic[1];
}

class GzipBytes : public GzipSource {
 public:
  explicit GzipBytes(std::string_view package) : rest_(package) {
    notGzip_ = !StartsGzip(rest_);
    ready_ = !notGzip_ && inflateInit2(&stream_, 16 + MAX_WBITS) == Z_OK;
    if (!notGzip_ && !ready_) failure_ = "out of memory";
  }
  ~GzipBytes() override {
    if (ready_) inflateEnd(&stream_);
  }

  int Read(char* buffer, unsigned size) override {
    if (notGzip_ || !failure_.empty()) return -1;
    if (ended_) return 0;
    stream_.next_out = reinterpret_cast<Bytef*>(buffer);
    stream_.avail_out = size;
    while (stream_.avail_out == size && !ended_) {
      const uInt given = static_cast<uInt>(std::min<std::size_t>(rest_.size(), UINT_MAX));
      stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(rest_.data()));
      stream_.avail_in = given;
      const int result = inflate(&stream_, Z_NO_FLUSH);
      rest_.remove_prefix(given - stream_.avail_in);
      if (result == Z_STREAM_END) {
        // Another member may follow; anything else is the trailer.
        ended_ = !StartsGzip(rest_) || inflateReset(&stream_) != Z_OK;
      } else if (result != Z_OK) {
        failure_ = result == Z_BUF_ERROR ? "unexpected end of file"
                                         : (stream_.msg != nullptr ? stream_.msg : "broken data");
        return -1;
      }
    }
    return static_cast<int>(size - stream_.avail_out);
  }
  bool NotGzip() const override { return notGzip_; }
  std::string Failure() const override { return failure_; }
  bool Close() override { return failure_.empty(); }

 private:
  std::string_view rest_;
  z_stream stream_{};
  bool notGzip_ = false;
  bool ready_ = false;
  bool ended_ = false;
  std::string failure_;
};

}  // namespace

std::unique_ptr<GzipSource> OpenGzipFile(const std::string& path) {
  gzFile file = gzopen(platform::SystemPath(path).c_str(), "rb");
  if (file == nullptr) return nullptr;
  return std::make_unique<GzipFile>(file);
}

std::unique_ptr<GzipSource> GzipInMemory(std::string_view package) {
  return std::make_unique<GzipBytes>(package);
}
