#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/patch_job.h"

// What the progress tells of one look at the job.
struct ProgressView {
  std::string stage;
  std::string item;                        // empty while the stage has not begun one
  // The stage's transfers: bytes arrived, of those known to come; none in a stage without one.
  std::optional<std::uint64_t> bytesDone;
  std::uint64_t bytesTotal = 0;
  std::int32_t stagePos = 0;
  std::int32_t stageRange = 0;
};

// Turns the looks at one job into views. A stage begins with the name of the stage before's
// last item still in the job, so that name is not shown as the new stage's item: it is taken
// for a leftover when nothing has moved yet, or when it is the item seen last before.
class ProgressViewer {
 public:
  ProgressView View(const PatchSnapshot& seen);

 private:
  bool looked_ = false;
  std::string stage_;
  std::string leftover_;
  std::string lastItem_;
};

// 512 B, 1.5 KiB, 12.0 MiB, 3.2 GiB: binary units, one decimal above bytes.
std::string FormatBytes(std::uint64_t bytes);
