#pragma once

struct PatchJob;

// After the local check: chooses a server of the zone (or the fixed one of common\Release.ini, or
// one of the list an earlier run kept in pserv.log), connects the job's connection to it and
// fetches "patch.sys" and "pserv.log" into place. Ten attempts. Unless common\Release.ini fixes the
// server, the fetched patch.sys must still list the server's host for the zone; if it does
// not, the state becomes Relaunch so the patcher starts again on the new configuration.
bool ConnectServer(PatchJob& job);
