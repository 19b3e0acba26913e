#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// .veldra-chunk-uses in the server folder: which indexes each of the last publishes used,
// and when, so that old chunks are removed only once no player's run can still ask for them.
// Text, each line ended by '\n':
//
//   veldra-chunk-uses 1        the layout's version
//   TIME MD5 MD5 ...           per publish, oldest first: when its lists were in place
//                              (seconds since 1970-01-01 UTC, decimal), then for each index
//                              it used, a blank and the file's MD5 in 32 hex digits (the
//                              index's name below indexes/)
//
// The patcher never asks for it.
constexpr const char* kChunkUsesName = ".veldra-chunk-uses";

struct PublishUse {
  std::int64_t time = 0;
  std::vector<std::string> indexes;  // the MD5s in hex
  bool operator==(const PublishUse&) const = default;
};

std::string ChunkUsesBytes(const std::vector<PublishUse>& uses);
// The publishes in `bytes`; none, with why, unless they are exactly in the layout above.
std::optional<std::vector<PublishUse>> ParseChunkUses(std::string_view bytes, std::string& why);
