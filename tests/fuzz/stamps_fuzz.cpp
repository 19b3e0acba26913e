// localfileStamps.log beside a status log, both as a crash or a disk error might leave them.
// The input's first two bytes give the status log's length; the stamps follow it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/file_stamps.h"
#include "engine/status_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::size_t logLength = std::min<std::size_t>(data[0] | (data[1] << 8), bytes.size());
  FileDigestMap files;
  ReadStatusLog(bytes.substr(0, logLength), files);
  ReadStamps(bytes.substr(logLength), files);
  // Stamps saved and read back vouch for the same entries with the same values.
  FileDigestMap again;
  ReadStatusLog(StatusLogBytes(files), again);
  ReadStamps(StampsBytes(files), again);
  auto entry = again.begin();
  for (const auto& [key, digests] : files) {
    if (entry == again.end() || entry->first != key || entry->second.stamp != digests.stamp) {
      __builtin_trap();
    }
    ++entry;
  }
  return 0;
}
