// veldra-bench digest [--list] DIR: the local check's digest pass over DIR, timed.
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
#include "engine/file_digests.h"
#include "engine/local_check.h"
#include "engine/patch_run.h"
#include "platform/files.h"

namespace {

std::optional<std::int64_t> LengthOfGameFile(const std::string& key) {
  platform::File file;
  if (!file.Open("." + key, platform::FileMode::Read, platform::FileShare::Read)) {
    return std::nullopt;
  }
  return file.Length();
}

// md5sum's own lines, so a script can hold the two against each other.
void PrintMd5sumLines(const FileDigestMap& files) {
  for (const auto& [key, digests] : files) {
    for (std::uint8_t byte : digests.installed) std::printf("%02x", byte);
    std::string path = key.substr(1);
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    std::printf("  %s\n", path.c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int RunDigest(const std::vector<std::string>& args) {
  bool list = args.size() == 2 && args[0] == "--list";
  if (args.size() != (list ? 2u : 1u)) return kExitUsage;
  const std::string& folder = args.back();
  if (!EnterFolder(folder) || !NoStatusLogYet()) return kExitFailed;

  PatchJob job;
  PatchRun run(job);
  Stopwatch walkClock;
  WalkFolder(run.files, "\\");
  double walkSeconds = walkClock.Seconds();
  Stopwatch digestClock;
  bool digested = static_cast<bool>(DigestAllFiles(run));
  double digestSeconds = digestClock.Seconds();
  if (!digested || !RemoveOwnStatusLog()) return kExitFailed;

  // Outside the clock: what was read. A file left with zero digests was not, and would make
  // every figure a lie.
  std::int64_t bytes = 0;
  int unread = 0;
  for (const auto& [key, digests] : run.files) {
    std::optional<std::int64_t> length = LengthOfGameFile(key);
    if (!length || IsZeroDigest(digests.installed)) {
      std::fprintf(stderr, "veldra-bench: %s was not digested\n", key.c_str());
      ++unread;
      continue;
    }
    bytes += *length;
  }

  PrintFigureTitle("digest pass over " + folder);
  PrintCount("files", static_cast<std::int64_t>(run.files.size()));
  PrintCount("bytes", bytes);
  PrintSeconds("walk seconds", walkSeconds);
  PrintSeconds("digest seconds", digestSeconds);
  PrintRate("digest MB/s", bytes, digestSeconds);
  if (list) PrintMd5sumLines(run.files);
  return unread == 0 ? kExitOk : kExitFailed;
}
