#include "engine/chunk_index.h"

#include <zlib.h>

#include <cstring>

#include "engine/hex.h"

namespace {

constexpr std::string_view kMagic = "VCIX";
constexpr std::uint32_t kLayout = 1;
constexpr std::size_t kHeaderSize = 84;
constexpr std::size_t kEntrySize = 40;

void PutU32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>(value >> shift & 0xff);
}

void PutU64(std::string& out, std::uint64_t value) {
  PutU32(out, static_cast<std::uint32_t>(value));
  PutU32(out, static_cast<std::uint32_t>(value >> 32));
}

template <std::size_t N>
void PutBytes(std::string& out, const std::array<std::uint8_t, N>& bytes) {
  out.append(reinterpret_cast<const char*>(bytes.data()), N);
}

// Reads fields in order; the caller has checked that the bytes are there.
class Fields {
 public:
  explicit Fields(std::string_view bytes) : bytes_(bytes) {}
  std::uint32_t U32() {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes_[at_ + i]);
    at_ += 4;
    return value;
  }
  std::uint64_t U64() {
    const std::uint64_t low = U32();
    return static_cast<std::uint64_t>(U32()) << 32 | low;
  }
  template <std::size_t N>
  std::array<std::uint8_t, N> Bytes() {
    std::array<std::uint8_t, N> bytes{};
    std::memcpy(bytes.data(), bytes_.data() + at_, N);
    at_ += N;
    return bytes;
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

std::optional<ChunkIndex> Refuse(std::string& why, std::string reason) {
  why = std::move(reason);
  return std::nullopt;
}

// Each chunk fits the parameters and they add up to the file.
bool ChunksFit(const ChunkIndex& index, std::string& why) {
  std::uint64_t total = 0;
  for (std::size_t at = 0; at < index.chunks.size(); ++at) {
    const ChunkEntry& chunk = index.chunks[at];
    const bool last = at + 1 == index.chunks.size();
    if (chunk.size == 0 || chunk.size > index.params.most ||
        (!last && chunk.size < index.params.least)) {
      why = "chunk " + std::to_string(at) + " is " + std::to_string(chunk.size) +
            " bytes, which its parameters do not allow";
      return false;
    }
    // A chunk file holds one byte of method and at most the chunk itself, or less, deflated.
    if (chunk.stored == 0 || chunk.stored > compressBound(chunk.size) + 1) {
      why = "chunk " + std::to_string(at) + " claims a chunk file of " +
            std::to_string(chunk.stored) + " bytes";
      return false;
    }
    total += chunk.size;
  }
  if (total != index.size) {
    why = "its chunks add up to " + std::to_string(total) + " bytes, not the file's " +
          std::to_string(index.size);
    return false;
  }
  return true;
}

}  // namespace

std::string ChunkIndexBytes(const ChunkIndex& index) {
  std::string out(kMagic);
  out.reserve(kHeaderSize + kEntrySize * index.chunks.size());
  PutU32(out, kLayout);
  PutU64(out, index.size);
  PutBytes(out, index.md5);
  PutBytes(out, index.sha256);
  PutU32(out, kGearCutting);
  PutU32(out, index.params.least);
  PutU32(out, index.params.average);
  PutU32(out, index.params.most);
  PutU32(out, static_cast<std::uint32_t>(index.chunks.size()));
  for (const ChunkEntry& chunk : index.chunks) {
    PutU32(out, chunk.size);
    PutU32(out, chunk.stored);
    PutBytes(out, chunk.sha256);
  }
  return out;
}

std::uint64_t LargestChunkIndexOf(std::uint64_t size) {
  // Every chunk but the last is at least as long as any sound `least`.
  return kHeaderSize + kEntrySize * (size / kGearWindow + 1);
}

std::optional<ChunkIndex> ParseChunkIndex(std::string_view bytes, std::string& why) {
  if (bytes.size() < kHeaderSize || bytes.substr(0, kMagic.size()) != kMagic) {
    return Refuse(why, "not a chunk index");
  }
  Fields fields(bytes.substr(kMagic.size()));
  if (const std::uint32_t layout = fields.U32(); layout != kLayout) {
    return Refuse(why, "a chunk index of layout " + std::to_string(layout) + ", unknown here");
  }
  ChunkIndex index;
  index.size = fields.U64();
  index.md5 = fields.Bytes<16>();
  index.sha256 = fields.Bytes<32>();
  if (const std::uint32_t cutting = fields.U32(); cutting != kGearCutting) {
    return Refuse(why, "chunks cut in way " + std::to_string(cutting) + ", unknown here");
  }
  index.params.least = fields.U32();
  index.params.average = fields.U32();
  index.params.most = fields.U32();
  if (!AreSoundParams(index.params)) return Refuse(why, "chunk parameters that cannot be");
  const std::uint32_t count = fields.U32();
  if ((bytes.size() - kHeaderSize) / kEntrySize != count ||
      (bytes.size() - kHeaderSize) % kEntrySize != 0) {
    return Refuse(why, "a chunk index of " + std::to_string(bytes.size()) + " bytes for " +
                           std::to_string(count) + " chunks");
  }
  Fields entries(bytes.substr(kHeaderSize));
  index.chunks.resize(count);
  for (ChunkEntry& chunk : index.chunks) {
    chunk.size = entries.U32();
    chunk.stored = entries.U32();
    chunk.sha256 = entries.Bytes<32>();
  }
  if (!ChunksFit(index, why)) return std::nullopt;
  return index;
}

std::string IndexNameOf(const Digest& md5) { return "indexes/" + HexOf(md5); }

std::string ChunkNameOf(const platform::Sha256Digest& sha256) {
  const std::string hex = HexOf(sha256);
  return "chunks/" + hex.substr(0, 2) + "/" + hex;
}

std::string EncodeChunk(std::string_view content, int level) {
  uLongf size = compressBound(static_cast<uLong>(content.size()));
  std::string stored(1 + size, '\0');
  stored[0] = static_cast<char>(kChunkDeflated);
  if (compress2(reinterpret_cast<Bytef*>(stored.data() + 1), &size,
                reinterpret_cast<const Bytef*>(content.data()), static_cast<uLong>(content.size()),
                level) == Z_OK &&
      size < content.size()) {
    stored.resize(1 + size);
    return stored;
  }
  stored.assign(1, static_cast<char>(kChunkStored));
  stored.append(content);
  return stored;
}

std::optional<std::string> DecodeChunk(std::string_view stored, const ChunkEntry& entry,
                                       std::string& why) {
  if (stored.empty() || stored.size() != entry.stored) {
    why = "a chunk file of " + std::to_string(stored.size()) + " bytes where the index says " +
          std::to_string(entry.stored);
    return std::nullopt;
  }
  std::string content;
  const std::string_view body = stored.substr(1);
  if (stored[0] == static_cast<char>(kChunkStored)) {
    content.assign(body);
  } else if (stored[0] == static_cast<char>(kChunkDeflated)) {
    content.resize(entry.size);
    uLongf size = entry.size;
    uLong used = static_cast<uLong>(body.size());
    if (uncompress2(reinterpret_cast<Bytef*>(content.data()), &size,
                    reinterpret_cast<const Bytef*>(body.data()), &used) != Z_OK ||
        used != body.size()) {
      why = "a chunk file that is not sound zlib of the chunk's size";
      return std::nullopt;
    }
    content.resize(size);
  } else {
    why = "a chunk file of an unknown kind";
    return std::nullopt;
  }
  if (content.size() != entry.size || Sha256Of(content) != entry.sha256) {
    why = "a chunk whose bytes are not the ones its name stands for";
    return std::nullopt;
  }
  return content;
}

platform::Sha256Digest Sha256Of(std::string_view bytes) {
  platform::Sha256 hash;
  hash.Add(bytes.data(), bytes.size());
  return hash.Finish();
}
