#pragma once

#include "launcher/command_line.h"
#include "platform/profile.h"

// Copies "veldra.exe" over "_veldra.exe" and starts the copy with the plan's words. The copy
// is tried ten times a second apart, since a copy that is still closing holds "_veldra.exe".
// Failures are told to the user with the texts of `config`.
bool CopyAndStartPatcher(const LaunchPlan& plan, const platform::ProfileReader& config);
