#include "tools/publish/chunk_store.h"

#include <zlib.h>

#include <optional>
#include <system_error>

#include "engine/file_chunks.h"
#include "platform/signature.h"
#include "tools/publish/publish_error.h"
#include "tools/publish/release_names.h"
#include "tools/publish/served_file.h"

namespace fs = std::filesystem;

namespace {

// Archives mostly hold compressed entries: a chunk whose start does not shrink is stored
// without deflating the rest, which would cost as much time as the package's own deflate.
constexpr std::size_t kProbe = 4096;

std::string Encoded(std::string_view chunk) {
  const bool pays = EncodeChunk(chunk.substr(0, kProbe), kChunkLevel)[0] == kChunkDeflated;
  return EncodeChunk(chunk, pays ? kChunkLevel : Z_NO_COMPRESSION);
}

// The size of the chunk file at `path` when it holds exactly the chunk `entry` names. A file
// that is there but not whole (its rename reached the disk before its bytes did) is written
// again rather than trusted.
std::optional<std::uint32_t> SoundChunkFile(const fs::path& path, const ChunkEntry& entry) {
  platform::WholeFile file =
      platform::ReadRegularFile(path.string(), compressBound(entry.size) + 1);
  if (!file.bytes) return std::nullopt;
  ChunkEntry named = entry;
  named.stored = static_cast<std::uint32_t>(file.bytes->size());
  std::string why;
  if (!DecodeChunk(*file.bytes, named, why)) return std::nullopt;
  return named.stored;
}

void CreateFolders(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    throw PublishError("cannot create the folder " + Quoted(folder.string()) + " (" +
                       error.message() + ")");
  }
}

}  // namespace

std::string ChunkStore::Add(platform::File& source, const std::string& key, const Digest& md5) {
  const std::string name = IndexNameOf(md5);
  const std::optional<std::int64_t> length = source.Length();
  if (!length || !source.Seek(0)) throw PublishError("cannot read " + Quoted(ShownName(key)));
  if (HoldsIndex(name, md5, static_cast<std::uint64_t>(*length))) {
    ++work_.indexesKept;
    return name;
  }
  FileChunks chunks(source, kChunkParams);
  Md5Stream content;
  platform::Sha256 whole;
  ChunkIndex index;
  index.params = kChunkParams;
  for (std::string_view chunk; chunks.Next(chunk);) {
    content.Add(chunk.data(), chunk.size());
    whole.Add(chunk.data(), chunk.size());
    index.size += chunk.size();
    index.chunks.push_back(PutChunk(chunk));
  }
  if (chunks.failed()) throw PublishError("cannot read " + Quoted(ShownName(key)));
  index.md5 = content.Finish();
  index.sha256 = whole.Finish();
  // The index would stand for content that filelist.log does not list.
  if (index.md5 != md5) {
    throw PublishError(Quoted(ShownName(key)) +
                       " changed while it was being published; publish again once it is complete");
  }
  pending_.push_back({name, ChunkIndexBytes(index)});
  return name;
}

void ChunkStore::Finish() {
  if (wroteChunks_) FlushFileSystem(serverDir_ / "chunks");
  for (const PendingIndex& index : pending_) {
    const fs::path placed = serverDir_ / index.name;
    CreateFolders(placed.parent_path());
    ReplaceFile(placed.parent_path(), placed.filename().string(), index.bytes);
    ++work_.indexesWritten;
  }
  if (!pending_.empty()) {
    SyncFolder(serverDir_ / "indexes");
    SyncFolder(serverDir_);
  }
  pending_.clear();
}

bool ChunkStore::HoldsIndex(const std::string& name, const Digest& md5, std::uint64_t size) const {
  platform::WholeFile file =
      platform::ReadRegularFile((serverDir_ / name).string(), LargestChunkIndexOf(size));
  std::string why;
  std::optional<ChunkIndex> index = file.bytes ? ParseChunkIndex(*file.bytes, why) : std::nullopt;
  if (!index || index->md5 != md5 || index->size != size) return false;
  for (const ChunkEntry& chunk : index->chunks) {
    std::error_code error;
    const std::uintmax_t stored = fs::file_size(serverDir_ / ChunkNameOf(chunk.sha256), error);
    if (error || stored != chunk.stored) return false;
  }
  return true;
}

ChunkEntry ChunkStore::PutChunk(std::string_view chunk) {
  ChunkEntry entry;
  entry.size = static_cast<std::uint32_t>(chunk.size());
  entry.sha256 = Sha256Of(chunk);
  const fs::path placed = serverDir_ / ChunkNameOf(entry.sha256);
  if (std::optional<std::uint32_t> stored = SoundChunkFile(placed, entry)) {
    entry.stored = *stored;
    ++work_.chunksKept;
    return entry;
  }
  CreateFolders(placed.parent_path());
  ServedFile file(placed.parent_path(), placed.filename().string());
  file.Write(Encoded(chunk));
  file.Commit(platform::ReplacingFile::Flush::LeaveToSystem);
  wroteChunks_ = true;
  entry.stored = static_cast<std::uint32_t>(file.size());
  ++work_.chunksWritten;
  work_.chunkBytes += file.size();
  return entry;
}
