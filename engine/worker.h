#pragma once

#include <functional>

#include "engine/outcome.h"
#include "engine/patch_job.h"
#include "engine/patch_run.h"

// The routine of the one worker thread: runs the patch stages in order, stops at the first
// that does not go on, and leaves how the run ended in the job's state for the window's poll.
void RunPatchWorker(PatchJob& job, RunInputs inputs = {});
// The same, as the routine a PatchWorker starts.
PatchWorker::Routine PatchRoutine(RunInputs inputs = {});

// The frame of every run: it holds the game folder's lock around `work`, and alone turns what
// `work` ended with into the job's state: Done when it went on; a stop the window asked for
// stays Stop; otherwise the outcome's state, with its reason for the window. A second run in
// the folder is told so, touches nothing and ends Failed with `folderBusy` set.
constexpr const char* kFolderLockName = "veldra.lock";
void RunHoldingGameFolder(PatchJob& job, RunInputs inputs,
                          const std::function<Outcome(PatchRun&)>& work);
