#include "bench/own_status_log.h"

#include <cstdio>

#include "engine/status_log.h"
#include "platform/files.h"

bool NoStatusLogYet() {
  if (!platform::PathExists(kStatusLogName)) return true;
  std::fprintf(stderr, "veldra-bench: %s holds %s already; the bench would replace it\n",
               platform::CurrentDirectory().c_str(), kStatusLogName);
  return false;
}

bool RemoveOwnStatusLog() {
  if (platform::RemoveFile(kStatusLogName)) return true;
  std::fprintf(stderr, "veldra-bench: cannot remove the %s that the stage saved\n", kStatusLogName);
  return false;
}
