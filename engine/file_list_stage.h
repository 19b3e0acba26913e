#pragma once

#include "engine/outcome.h"

struct PatchRun;

// The file-list stage: makes the local filelist.log the one pserv.log announces, fetching it
// when it differs, and loads its digests into the run's map. Keys that cannot be installed
// (WhyNotInstallable) are left unlisted, the first of them kept in `refusedName`.
Outcome LoadFileList(PatchRun& run);
