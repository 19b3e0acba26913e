#include "bench/own_status_log.h"

#include <cstdio>

#include "engine/file_stamps.h"
#include "engine/status_log.h"
#include "platform/files.h"

namespace {

// The status log is saved with the stamps of the files it digested beside it.
constexpr const char* kSavedLogs[] = {kStatusLogName, kStampsName};

}  // namespace

bool NoStatusLogYet() {
  for (const char* name : kSavedLogs) {
    if (!platform::PathExists(name)) continue;
    std::fprintf(stderr, "veldra-bench: %s holds %s already; the bench would replace it\n",
                 platform::CurrentDirectory().c_str(), name);
    return false;
  }
  return true;
}

bool RemoveOwnStatusLog() {
  for (const char* name : kSavedLogs) {
    if (platform::RemoveFile(name)) continue;
    std::fprintf(stderr, "veldra-bench: cannot remove the %s that the stage saved\n", name);
    return false;
  }
  return true;
}
