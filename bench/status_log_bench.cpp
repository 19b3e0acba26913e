// veldra-bench statuslog N: saving and loading a status log of N entries, and the checks of a
// list of N files (keys that collide, files not as listed), timed.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/figure_lines.h"
#include "bench/own_status_log.h"
#include "bench/subcommands.h"
#include "bench/throughput_table.h"
#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "engine/installed_check.h"
#include "engine/patch_run.h"
#include "engine/status_log.h"
#include "platform/files.h"

namespace {

constexpr std::int64_t kMostEntries = 100'000'000;

std::optional<std::int64_t> ParseCount(const std::string& text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || value < 1 || value > kMostEntries) {
    return std::nullopt;
  }
  return value;
}

// splitmix64: cheap, and no two digests of a run alike, as the files of a game folder.
class DigestSource {
 public:
  Digest Next() {
    Digest digest;
    for (std::size_t half = 0; half < 2; ++half) {
      std::uint64_t word = NextWord();
      for (std::size_t i = 0; i < 8; ++i)
        digest[8 * half + i] = static_cast<std::uint8_t>(word >> (8 * i));
    }
    return digest;
  }

 private:
  std::uint64_t NextWord() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    return z ^ (z >> 31);
  }
  std::uint64_t state_ = 0;
};

// A hundred files a folder, named as a game's data are.
std::string KeyOf(std::int64_t index) {
  return "\\data\\sub" + std::to_string(index / 100) + "\\file" + std::to_string(index) + ".dat";
}

bool SameDigests(const FileDigestMap& saved, const FileDigestMap& loaded) {
  if (saved.size() != loaded.size()) return false;
  auto other = loaded.begin();
  for (const auto& [key, digests] : saved) {
    if (other->first != key || other->second.installed != digests.installed ||
        other->second.fetched != digests.fetched) {
      return false;
    }
    ++other;
  }
  return true;
}

}  // namespace

int RunStatusLog(const std::vector<std::string>& args) {
  if (args.size() != 1) return kExitUsage;
  std::optional<std::int64_t> entries = ParseCount(args[0]);
  if (!entries) {
    std::fprintf(stderr, "veldra-bench: N must be a number from 1 to %lld\n",
                 static_cast<long long>(kMostEntries));
    return kExitUsage;
  }
  if (!NoStatusLogYet()) return kExitFailed;

  PatchJob job;
  PatchRun run(job);
  DigestSource source;
  for (std::int64_t index = 0; index < *entries; ++index) {
    FileDigests& digests = run.files.FindOrAdd(KeyOf(index));
    digests.installed = digests.fetched = source.Next();
  }

  Stopwatch saveClock;
  bool saved = WriteStatusLog(run);
  double saveSeconds = saveClock.Seconds();
  if (!saved) {
    std::fprintf(stderr, "veldra-bench: %s could not be saved\n", kStatusLogName);
    return kExitFailed;
  }

  // As the local check loads it: the whole file, then the records into the map.
  FileDigestMap loaded;
  Stopwatch loadClock;
  std::optional<std::string> log;
  if (platform::PathExists(kStatusLogName)) log = platform::ReadWholeFile(kStatusLogName);
  if (log) ReadStatusLog(*log, loaded);
  double loadSeconds = loadClock.Seconds();
  if (!RemoveOwnStatusLog()) return kExitFailed;
  if (!log || !SameDigests(run.files, loaded)) {
    std::fprintf(stderr, "veldra-bench: the log read back differs from the map saved\n");
    return kExitFailed;
  }

  // The checks a run makes of the list it read and of the folder at its end, over the same map.
  for (auto& [key, digests] : run.files) digests.listed = digests.installed;
  Stopwatch checkClock;
  const bool collide = CollidingKeys(run.files).has_value();
  const bool installed = static_cast<bool>(CheckListedFilesInstalled(run));
  double checkSeconds = checkClock.Seconds();
  if (collide || !installed) {
    std::fprintf(stderr, "veldra-bench: the checks refused a sound list\n");
    return kExitFailed;
  }

  PrintFigureTitle("status log of " + args[0] + " entries");
  PrintCount("entries", *entries);
  PrintCount("log bytes", static_cast<std::int64_t>(log->size()));
  PrintSeconds("save seconds", saveSeconds);
  PrintSeconds("load seconds", loadSeconds);
  PrintSeconds("check seconds", checkSeconds);
  return kExitOk;
}
