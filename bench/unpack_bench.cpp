// veldra-bench unpack DIR: the patcher's unpacking of the packages in DIR\temp, timed.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/enter_folder.h"
#include "bench/figure_lines.h"
#include "bench/own_status_log.h"
#include "bench/subcommands.h"
#include "bench/throughput_table.h"
#include "engine/package.h"
#include "engine/patch_run.h"
#include "engine/unpacking.h"
#include "platform/files.h"

namespace {

std::optional<std::vector<std::string>> PackagesWaiting() {
  std::vector<platform::FoundEntry> found;
  if (!platform::FindEntries("temp\\*.ppk", found)) return std::nullopt;
  std::vector<std::string> packages;
  for (const platform::FoundEntry& entry : found) {
    if (!entry.folder) packages.push_back("temp\\" + entry.name);
  }
  return packages;
}

}  // namespace

int RunUnpack(const std::vector<std::string>& args) {
  if (args.size() != 1) return kExitUsage;
  const std::string& folder = args[0];
  if (!EnterFolder(folder) || !NoStatusLogYet()) return kExitFailed;
  std::optional<std::vector<std::string>> packages = PackagesWaiting();
  if (!packages || packages->empty()) {
    std::fprintf(stderr, "veldra-bench: no packages in %s/temp\n", folder.c_str());
    return kExitFailed;
  }
  // The targets are known only from the packages, which unpacking deletes.
  std::vector<std::string> targets;
  for (const std::string& package : *packages) {
    platform::File file;
    std::optional<std::string> target =
        file.Open(package, platform::FileMode::Read) ? TargetOfPackage(file) : std::nullopt;
    if (!target) {
      std::fprintf(stderr, "veldra-bench: %s is no valid package\n", package.c_str());
      return kExitFailed;
    }
    targets.push_back(*target);
  }

  PatchJob job;
  PatchRun run(job);
  Stopwatch clock;
  bool unpacked = static_cast<bool>(DecompressPackages(run));
  double seconds = clock.Seconds();
  if (!RemoveOwnStatusLog() || !unpacked) return kExitFailed;

  std::optional<std::vector<std::string>> left = PackagesWaiting();
  if (!left || !left->empty()) {
    std::fprintf(stderr, "veldra-bench: packages were left in temp\n");
    return kExitFailed;
  }
  std::int64_t bytes = 0;
  for (const std::string& target : targets) {
    std::optional<platform::FileStamp> written = platform::StampOf(target);
    if (!written) {
      std::fprintf(stderr, "veldra-bench: %s was not unpacked\n", target.c_str());
      return kExitFailed;
    }
    bytes += written->size;
  }

  PrintFigureTitle("unpacking in " + folder);
  PrintCount("packages", static_cast<std::int64_t>(targets.size()));
  PrintCount("bytes written", bytes);
  PrintSeconds("unpack seconds", seconds);
  PrintRate("unpack MB/s", bytes, seconds);
  return kExitOk;
}
