#include "tools/cli/progress_format.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <optional>

#include "tools/terminal/utf8_cut.h"

namespace {

constexpr std::size_t kBarCells = 16;
constexpr std::size_t kShortestName = 16;  // in less room, a cut name tells nothing
constexpr std::size_t kBytesRoom = 11;     // " 1023.9 KiB"
constexpr std::string_view kEllipsis = "...";

// Pieces appended in order; "literal" + text trips a false -Wrestrict of GCC 12 at -O3.
std::string Joined(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text += piece;
  return text;
}

// The head, the item's name in the room left and the bytes; none when that room is too
// small to tell anything. The room keeps the widest bytes in mind, so the layout does not
// jump as the count grows.
std::optional<std::string> WithItem(const std::string& head, const std::string& item,
                                    const std::string& bytes, std::size_t width) {
  const std::size_t used = head.size() + 1 + kBytesRoom;
  if (used + kShortestName > width) return std::nullopt;
  return Joined({head, " ", FitName(item, width - used), bytes});
}

}  // namespace

std::string ProgressBar(std::int64_t pos, std::int64_t range, std::size_t cells) {
  std::size_t filled = 0;
  if (range > 0 && pos > 0) {
    filled = pos >= range ? cells
                          : static_cast<std::size_t>(static_cast<double>(pos) /
                                                     static_cast<double>(range) * cells);
  }
  return Joined({"[", std::string(filled, '#'), std::string(cells - filled, ' '), "]"});
}

std::string FitName(std::string_view name, std::size_t width) {
  if (name.size() <= width) return std::string(name);
  if (width <= kEllipsis.size()) return std::string(Utf8Head(name, width));
  const std::size_t room = width - kEllipsis.size();
  const std::size_t headWidth = room / 3;
  return Joined({Utf8Head(name, headWidth), kEllipsis, Utf8Tail(name, room - headWidth)});
}

std::string ProgressLineText(const ProgressView& view, std::size_t width) {
  std::string counts;
  if (view.stageRange > 0) {
    counts = Joined({" ", std::to_string(view.stagePos), "/", std::to_string(view.stageRange)});
  } else if (view.stagePos > 0) {
    counts = Joined({" ", std::to_string(view.stagePos)});  // a stage that counts, with no total
  }
  const std::string withBar =
      Joined({view.stage, " ", ProgressBar(view.stagePos, view.stageRange, kBarCells), counts});
  const std::string withoutBar = view.stage + counts;
  if (view.item.empty()) {
    return std::string(Utf8Head(withBar.size() <= width ? withBar : withoutBar, width));
  }
  const std::string bytes = view.bytesDone ? Joined({" ", FormatBytes(*view.bytesDone)}) : "";
  for (const std::string& head : {withBar, withoutBar}) {
    if (std::optional<std::string> line = WithItem(head, view.item, bytes, width)) return *line;
  }
  return std::string(Utf8Head(withoutBar + bytes, width));
}

std::string StageLine(const std::string& stage) { return Joined({"[", stage, "]"}); }

std::string ItemLine(const std::string& stage, const std::string& item) {
  return Joined({StageLine(stage), " ", item});
}
