// veldra-bench download HOST PORT FOLDER NAME...: the patcher's own download path, timed.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/subcommands.h"
#include "bench/throughput_table.h"
#include "engine/download_file.h"
#include "engine/http_connection.h"
#include "engine/patch_run.h"
#include "platform/files.h"

namespace {

std::optional<std::uint16_t> ParsePort(const std::string& text) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || value == 0 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

// Files land in temp\NAME, so a name that climbs out of temp or names a subfolder (which
// DownloadFile would not create) is refused up front.
bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("/\\:") == std::string::npos;
}

}  // namespace

int RunDownload(const std::vector<std::string>& args) {
  if (args.size() < 4) return kExitUsage;
  const std::string& host = args[0];
  std::optional<std::uint16_t> port = ParsePort(args[1]);
  if (!port) {
    std::fprintf(stderr, "veldra-bench: PORT must be a number from 1 to 65535\n");
    return kExitUsage;
  }
  const std::string& folder = args[2];
  const std::vector<std::string> names(args.begin() + 3, args.end());
  for (const std::string& name : names) {
    if (!IsPlainFileName(name)) {
      std::fprintf(stderr, "veldra-bench: \"%s\" is not a plain file name\n", name.c_str());
      return kExitUsage;
    }
  }
  if (!platform::IsFolder("temp") && !platform::CreateFolder("temp")) {
    std::fprintf(stderr, "veldra-bench: cannot create the folder temp\n");
    return kExitFailed;
  }

  PrintThroughputHeader("download from " + host + ":" + args[1] + "/" + folder);
  Stopwatch whole;
  PatchJob job;
  PatchRun run(job);
  if (!run.connection.Connect(host, *port, folder)) {
    std::fprintf(stderr, "veldra-bench: cannot connect to %s:%s\n", host.c_str(), args[1].c_str());
    return kExitFailed;
  }
  std::int64_t totalBytes = 0;
  int failures = 0;
  for (const std::string& name : names) {
    Stopwatch one;
    bool downloaded = static_cast<bool>(DownloadFile(run, name, Arrival::Staged));
    double seconds = one.Seconds();
    // What arrived on disk is what counts, not the 32-bit progress counter.
    std::optional<platform::FileStamp> arrived =
        downloaded ? platform::StampOf("temp\\" + name) : std::nullopt;
    if (!arrived) {
      PrintFailedRow(name);
      ++failures;
      continue;
    }
    PrintThroughputRow(name, arrived->size, seconds);
    totalBytes += arrived->size;
  }
  run.connection.Close();
  PrintThroughputRow("total", totalBytes, whole.Seconds());
  if (failures > 0) {
    std::fprintf(stderr, "veldra-bench: %d of %zu downloads failed\n", failures, names.size());
    return kExitFailed;
  }
  return kExitOk;
}
