#pragma once

#include "engine/outcome.h"

struct PatchRun;

// After the file list is loaded: brings `installed` of every listed file up to what is on
// disk, before anything is chosen for download. A file whose size and write time are those
// of its stamp keeps its digest, a missing file gets none, and any other is digested again;
// a repair (`digestEveryListedFile`) digests every one. Saves the status log when a file was
// digested. Stopped on a stop.
Outcome CheckListedFiles(PatchRun& run);
