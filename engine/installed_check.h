#pragma once

struct PatchJob;

// The end of a run that installs game files: every listed file that can be installed is as
// the list has it. Otherwise the player is told which are not (the first few by name, with
// why, and how many), the run fails (state Failed) and false.
bool CheckListedFilesInstalled(PatchJob& job);

// The same for the files this run failed to install, for a stage that installs only some.
bool CheckNoFileFailed(PatchJob& job);
