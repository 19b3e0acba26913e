#pragma once

#include "engine/outcome.h"

struct PatchRun;

// After the local check: chooses a server of the zone (or the fixed one of common\Release.ini, or
// one of the list an earlier run kept in pserv.log), connects the run's connection to it and
// fetches "patch.sys" and "pserv.log" into place. Ten attempts. Unless common\Release.ini fixes the
// server, the fetched patch.sys must still list the server's host for the zone; if it does
// not, it ends with Relaunch so the patcher starts again on the new configuration.
Outcome ConnectServer(PatchRun& run);
