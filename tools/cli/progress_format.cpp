#include "tools/cli/progress_format.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <vector>

#include "tools/terminal/utf8_cut.h"

namespace {

constexpr std::size_t kBarCells = 16;
constexpr std::size_t kShortestName = 16;  // in less room, a cut name tells nothing
// The rooms the figures are laid out for, so the layout does not jump as they change:
constexpr std::size_t kBytesRoom = 17;  // "1023.9/1023.9 MiB"
constexpr std::size_t kSpeedRoom = 12;  // "1023.9 KiB/s"
constexpr std::size_t kLeftRoom = 10;   // "59:59 left"
constexpr std::string_view kEllipsis = "...";

// Pieces appended in order; "literal" + text trips a false -Wrestrict of GCC 12 at -O3.
std::string Joined(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text += piece;
  return text;
}

// The transfer's figures and the room laid out for them.
struct Figures {
  std::string text;
  std::size_t room = 0;
};

// The figures from the most said to the least: the bytes go first, then the speed; the time
// left goes last. A stage that moves no bytes has none.
std::vector<Figures> FigureForms(const ProgressView& view) {
  if (!view.bytesDone) return {Figures{}};
  const std::string bytes = BytesFigure(view);
  const std::string speed = SpeedFigure(view);
  const std::string left = TimeLeftFigure(view);
  const std::size_t leftRoom = view.bytesTotal ? kLeftRoom : 0;
  return {{Spaced({bytes, speed, left}, " "), kBytesRoom + 1 + kSpeedRoom + 1 + leftRoom},
          {Spaced({speed, left}, " "), kSpeedRoom + 1 + leftRoom},
          {left, leftRoom}};
}

// The head, the item's name in the room left, and the figures; none when that room is too
// small to tell anything. Figures past their room (hours left, mixed units) are cut short.
std::optional<std::string> Laid(const std::string& head, std::string_view item,
                                const Figures& figures, std::size_t width) {
  const std::size_t used = head.size() + (figures.room > 0 ? 1 + figures.room : 0);
  std::string line = head;
  if (!item.empty()) {
    if (used + 1 + kShortestName > width) return std::nullopt;
    line = Joined({head, " ", FitName(item, width - used - 1)});
  } else if (used > width) {
    return std::nullopt;
  }
  if (!figures.text.empty()) line = Joined({line, " ", figures.text});
  return std::string(Utf8Head(line, width));
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
  // The name is cut first, then the bar gives way to it, then the name goes; then the figures
  // shorten from the front.
  for (const Figures& figures : FigureForms(view)) {
    for (std::string_view item : {std::string_view(view.item), std::string_view()}) {
      for (const std::string& head : {withBar, withoutBar}) {
        if (std::optional<std::string> line = Laid(head, item, figures, width)) return *line;
      }
    }
  }
  return std::string(Utf8Head(withoutBar, width));
}

std::string TransferFigures(const ProgressView& view) { return FigureForms(view).front().text; }

std::string StageLine(const std::string& stage) { return Joined({"[", stage, "]"}); }

std::string ItemLine(const std::string& stage, const std::string& item,
                     const std::string& figures) {
  return figures.empty() ? Joined({StageLine(stage), " ", item})
                         : Joined({StageLine(stage), " ", item, "  ", figures});
}
