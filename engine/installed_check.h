#pragma once

#include "engine/outcome.h"

struct PatchRun;

// The end of a run that installs game files: every listed file that can be installed is as
// the list has it. Otherwise the player is told which are not (the first few by name, with
// why, and how many) and the run fails with that.
Outcome CheckListedFilesInstalled(PatchRun& run);

// The same for the files this run failed to install, for a stage that installs only some.
Outcome CheckNoFileFailed(PatchRun& run);
