#include "engine/chunk_assembly.h"

#include <optional>

#include "engine/file_digests.h"
#include "engine/hex.h"
#include "engine/md5.h"
#include "engine/patch_run.h"
#include "platform/files.h"
#include "platform/replacing_file.h"

namespace {

// The chunk's bytes from the old copy or from its file in temp\; none, with why, unless they
// are the chunk the index names.
std::optional<std::string> ReadChunk(platform::File& oldCopy, std::optional<std::uint64_t> oldAt,
                                     const std::string& chunkFolder, const ChunkEntry& entry,
                                     std::string& why) {
  std::string bytes(entry.size, '\0');
  if (oldAt) {
    if (!oldCopy.Seek(static_cast<std::int64_t>(*oldAt)) ||
        oldCopy.Read(bytes.data(), bytes.size()) != static_cast<std::int64_t>(bytes.size())) {
      why = "the old copy changed while it was read";
      return std::nullopt;
    }
  } else {
    const std::string name = chunkFolder + "\\" + HexOf(entry.sha256);
    platform::File file;
    if (!file.Open(name, platform::FileMode::Read) ||
        file.Read(bytes.data(), bytes.size()) != static_cast<std::int64_t>(bytes.size()) ||
        file.Length() != static_cast<std::int64_t>(bytes.size())) {
      why = "the chunk " + name + " is missing or cut";
      return std::nullopt;
    }
  }
  if (Sha256Of(bytes) != entry.sha256) {
    why = oldAt ? "the old copy changed while it was read"
                : "the chunk in temp\\ is not the one its name stands for";
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

std::string ChunkFolderOf(const std::string& key) {
  std::string name = PackageNameOf(key);
  name.resize(name.size() - 4);  // ".ppk"
  return "temp\\" + name + ".chunks";
}

bool AssembleFromChunks(PatchRun& run, const std::string& target, const ChunkIndex& index,
                        const OldChunks& old, const std::string& chunkFolder, std::string& why) {
  platform::File oldCopy;
  if (!oldCopy.Open(target, platform::FileMode::Read, platform::FileShare::ReadWrite)) {
    why = "cannot read " + target + ": " + platform::LastErrorText();
    return false;
  }
  platform::ReplacingFile out(target, target + ".unpacking");
  Md5Stream md5;
  platform::Sha256 sha256;
  for (std::size_t at = 0; at < index.chunks.size() && !out.failed(); ++at) {
    const ChunkEntry& entry = index.chunks[at];
    std::optional<std::string> bytes = ReadChunk(oldCopy, old[at], chunkFolder, entry, why);
    if (!bytes) return false;
    if (!run.reserve.Take(bytes->size())) {
      why = "the disk is too full";
      return false;
    }
    md5.Add(bytes->data(), bytes->size());
    sha256.Add(bytes->data(), bytes->size());
    out.Write(*bytes);
  }
  if (out.failed()) {
    why = "cannot write " + target + ": " + out.failure();
    return false;
  }
  if (md5.Finish() != index.md5 || sha256.Finish() != index.sha256) {
    why = "the chunks put together are not the listed file";
    return false;
  }
  oldCopy.Close();  // a file still open cannot be replaced on Windows
  // Not flushed, as no unpacked file is: one lost to a power cut changes size and time.
  if (!out.Commit(platform::ReplacingFile::Flush::LeaveToSystem)) {
    why = "cannot replace " + target + ": " + out.failure();
    return false;
  }
  return true;
}
