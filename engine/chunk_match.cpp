#include "engine/chunk_match.h"

#include <cstring>
#include <unordered_map>

#include "engine/file_chunks.h"
#include "engine/patch_run.h"
#include "platform/files.h"

namespace {

// A SHA-256 is evenly spread: its first bytes are hash enough.
std::uint64_t ShortKey(const platform::Sha256Digest& sha256) {
  std::uint64_t key = 0;
  std::memcpy(&key, sha256.data(), sizeof key);
  return key;
}

}  // namespace

std::optional<OldChunks> FindOldChunks(const PatchRun& run, const std::string& path,
                                       const ChunkIndex& index, std::string& why) {
  std::unordered_multimap<std::uint64_t, std::size_t> wanted;
  wanted.reserve(index.chunks.size());
  for (std::size_t at = 0; at < index.chunks.size(); ++at) {
    wanted.emplace(ShortKey(index.chunks[at].sha256), at);
  }
  platform::File file;
  if (!file.Open(path, platform::FileMode::Read, platform::FileShare::ReadWrite)) {
    why = "cannot read " + path + ": " + platform::LastErrorText();
    return std::nullopt;
  }
  OldChunks found(index.chunks.size());
  FileChunks chunks(file, index.params);
  platform::Sha256 hash;
  std::string_view chunk;
  while (chunks.Next(chunk)) {
    if (StopAsked(run)) {
      why = "stopped";
      return std::nullopt;
    }
    hash.Add(chunk.data(), chunk.size());
    const platform::Sha256Digest sha256 = hash.Finish();
    auto [first, last] = wanted.equal_range(ShortKey(sha256));
    for (auto match = first; match != last; ++match) {
      const std::size_t at = match->second;
      if (!found[at] && index.chunks[at].sha256 == sha256 &&
          index.chunks[at].size == chunk.size()) {
        found[at] = chunks.offset();
      }
    }
  }
  if (chunks.failed()) {
    why = "cannot read " + path + ": " + platform::LastErrorText();
    return std::nullopt;
  }
  return found;
}
