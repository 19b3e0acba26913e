#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/progress_view.h"

// "[####      ]" with `cells` cells between the brackets, filled by pos / range; empty cells
// while the range is not known.
std::string ProgressBar(std::int64_t pos, std::int64_t range, std::size_t cells);

// The name in at most `width` bytes: its middle gives way to "...", since the start and the
// end of a path tell files apart best. A UTF-8 sequence is never cut in two.
std::string FitName(std::string_view name, std::size_t width);

// The terminal's progress line, "STAGE [BAR] N/M ITEM BYTES", in at most `width` bytes; the
// item's name is cut first, then the bar goes. Whether the bar shows depends on the width alone.
std::string ProgressLineText(const ProgressView& view, std::size_t width);

// The log's lines: "[STAGE]" when a stage begins, "[STAGE] ITEM" when an item is done.
std::string StageLine(const std::string& stage);
std::string ItemLine(const std::string& stage, const std::string& item);
