// veldra-bench match FILE INDEX: the pass that finds which chunks of a new release's file its
// old copy holds, alone, so a whole-process timing of it sits beside one of md5sum.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/subcommands.h"
#include "engine/chunk_index.h"
#include "engine/chunk_match.h"
#include "engine/patch_run.h"
#include "platform/files.h"

int RunMatch(const std::vector<std::string>& args) {
  if (args.size() != 2) return kExitUsage;
  const std::optional<std::string> bytes = platform::ReadWholeFile(args[1]);
  std::string why;
  const std::optional<ChunkIndex> index =
      bytes ? ParseChunkIndex(*bytes, why) : std::optional<ChunkIndex>();
  if (!index) {
    std::fprintf(stderr, "veldra-bench: %s is no chunk index (%s)\n", args[1].c_str(),
                 bytes ? why.c_str() : "cannot read it");
    return kExitFailed;
  }
  PatchJob job;
  PatchRun run(job);
  const std::optional<OldChunks> old = FindOldChunks(run, args[0], *index, why);
  if (!old) {
    std::fprintf(stderr, "veldra-bench: %s\n", why.c_str());
    return kExitFailed;
  }
  std::size_t found = 0;
  std::uint64_t reused = 0;
  for (std::size_t at = 0; at < old->size(); ++at) {
    if (!(*old)[at]) continue;
    ++found;
    reused += index->chunks[at].size;
  }
  std::printf("%zu of %zu chunks, %llu bytes, held by the old copy\n", found, index->chunks.size(),
              static_cast<unsigned long long>(reused));
  return kExitOk;
}
