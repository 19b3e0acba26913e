#pragma once

#include "engine/outcome.h"

struct PatchRun;

// Once connected: holds the installed version ("local.ver") against the one the server requires
// ("remote.ver") and the newest it offers ("latest.ver"). Too old to patch: the user may go
// to the download page, else the work ends. Older than the newest: the user is offered the
// page first. Going there ends the run Stopped, so the window stays open.
Outcome CheckVersion(PatchRun& run);
