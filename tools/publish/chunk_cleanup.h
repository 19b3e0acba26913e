#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct CleanupRule {
  std::size_t keptPublishes = 5;  // at least 1
  std::chrono::seconds grace{24 * 60 * 60};
};

struct CleanupReport {
  std::size_t indexes = 0;  // removed
  std::size_t chunks = 0;
  std::uint64_t bytes = 0;
  std::string kept;  // why nothing or fewer were removed than could be; empty when all went
};

// Called once a publish's lists are in place, with the names of the indexes it used: records
// the publish in .veldra-chunk-uses (chunk_uses.h), then removes each index and chunk that none
// of the last `keptPublishes` publishes uses, once it has been unused and unchanged for
// `grace`. An index the record does not name (a publish's that failed, or one from before
// the record) counts as unused since the record's oldest publish, and only once the record
// holds `keptPublishes` of them. A record that cannot be read removes nothing and is begun
// anew; a kept index that cannot be read keeps every chunk. Throws PublishError when the
// record cannot be written.
CleanupReport CleanChunkStore(const std::filesystem::path& serverDir,
                              const std::vector<std::string>& usedIndexes, const CleanupRule& rule);
