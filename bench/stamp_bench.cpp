// veldra-bench stamp DIR: the light check's floor, the stamp of every file DIR's filelist.log
// lists and nothing else, so a whole-process timing of it sits beside one of veldra-cli.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/enter_folder.h"
#include "bench/figure_lines.h"
#include "bench/subcommands.h"
#include "bench/throughput_table.h"
#include "engine/file_digests.h"
#include "engine/file_list.h"
#include "platform/files.h"

int RunStamp(const std::vector<std::string>& args) {
  if (args.size() != 1) return kExitUsage;
  const std::string& folder = args.front();
  if (!EnterFolder(folder)) return kExitFailed;

  Stopwatch readClock;
  std::optional<std::string> bytes = platform::ReadWholeFile("filelist.log");
  if (!bytes) {
    std::fprintf(stderr, "veldra-bench: cannot read %s/filelist.log\n", folder.c_str());
    return kExitFailed;
  }
  FileDigestMap files;
  ReadFileList(*bytes, files);
  double readSeconds = readClock.Seconds();

  // The sizes are summed so that no call can be taken for unused.
  Stopwatch stampClock;
  std::int64_t found = 0;
  std::int64_t size = 0;
  for (const auto& [key, digests] : files) {
    std::optional<platform::FileStamp> stamp = platform::StampOf("." + key);
    if (!stamp) continue;
    ++found;
    size += stamp->size;
  }
  double stampSeconds = stampClock.Seconds();

  PrintFigureTitle("stamps of the files " + folder + "/filelist.log lists");
  PrintCount("listed", static_cast<std::int64_t>(files.size()));
  PrintCount("found", found);
  PrintCount("bytes", size);
  PrintSeconds("list seconds", readSeconds);
  PrintSeconds("stamp seconds", stampSeconds);
  return kExitOk;
}
