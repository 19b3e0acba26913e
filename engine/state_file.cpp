#include "engine/state_file.h"

#include "engine/patch_job.h"
#include "platform/files.h"

std::optional<std::string> ReadStateFile(const std::string& name, std::uint64_t limit) {
  return platform::ReadRegularFile(name, limit).bytes;
}

std::optional<std::string> ReadStateFile(PatchJob& job, const std::string& name,
                                         std::uint64_t limit) {
  platform::WholeFile file = platform::ReadRegularFile(name, limit);
  if (!file.bytes && !file.missing) SetFailureReason(job, name + ": " + file.why);
  return std::move(file.bytes);
}
