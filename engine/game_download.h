#pragma once

#include "engine/outcome.h"

struct PatchRun;

// The last stage: fetches the package of every listed file whose content on disk is not the
// listed one (unless that package already waits in temp\), several at once, unpacking each as
// it arrives; then unpacks the packages that still wait.
// Files the server does not list are left alone. The run is done only when every listed file
// that can be installed is as listed; one whose list named a file that cannot be installed,
// or whose package could not be used, fails at the end, once the rest is in place.
Outcome DownloadGameFiles(PatchRun& run);
