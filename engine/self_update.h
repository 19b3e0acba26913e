#pragma once

#include "engine/outcome.h"

struct PatchRun;

// Brings the patcher itself up to date before the game: "veldra.exe" against the digest in
// pserv.log, and the skin pictures patch.sys names against the file list. When anything of
// it was replaced it ends with Relaunch, so the new patcher does the game download.
Outcome UpdatePatchSystem(PatchRun& run);
