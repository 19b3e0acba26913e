#pragma once

struct PatchJob;

// The routine of the one worker thread: runs the patch stages in order, stops at the first
// that fails, and leaves the outcome in the job's state for the window's poll.
void RunPatchWorker(PatchJob& job);
