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

// The terminal's progress line, "STAGE [BAR] N/M ITEM FIGURES", in at most `width` bytes, the
// figures of a transfer being "41.2/130.0 MiB 4.1 MiB/s 0:32 left". The item's name is cut
// first, then the bar goes, then the name; then the figures shorten from the front. What
// shows depends on the width and on which figures the stage has, never on their values.
std::string ProgressLineText(const ProgressView& view, std::size_t width);

// The figures of a transfer in full, as the progress line shows them; empty without one.
std::string TransferFigures(const ProgressView& view);

// The log's lines: "[STAGE]" when a stage begins, "[STAGE] ITEM" when an item is done, and
// after it, two blanks apart, the stage's transfer figures at that moment.
std::string StageLine(const std::string& stage);
std::string ItemLine(const std::string& stage, const std::string& item, const std::string& figures);
