#pragma once

#include <functional>
#include <optional>

#include "platform/signature.h"

struct PatchJob;

// The routine of the one worker thread: runs the patch stages in order, stops at the first
// that fails, and leaves the outcome in the job's state for the window's poll.
void RunPatchWorker(PatchJob& job);
// The same run, but every listed file is digested again rather than trusted to its stamp.
void RunRepairWorker(PatchJob& job);

// `routine` for a program built with the operator's release key, or without one (none).
std::function<void(PatchJob&)> WithReleaseKey(std::optional<platform::P256PublicKey> key,
                                              std::function<void(PatchJob&)> routine);

// The frame of every run: it holds the game folder's lock around `work` and ends Done when
// `work` succeeds. A second run in the folder is told so, touches nothing and ends Failed
// with `folderBusy` set.
constexpr const char* kFolderLockName = "veldra.lock";
void RunHoldingGameFolder(PatchJob& job, const std::function<bool(PatchJob&)>& work);
