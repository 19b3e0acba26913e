#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cli/answer_rule.h"

struct CliOptions {
  std::string zone;  // empty: the engine takes patch.sys [Combo] Zone0
  Answering answering = Answering::Ask;
  bool start = false;            // start [Button3] Exe after a run that ended Done
  bool repair = false;           // digest every listed file, whatever the last run recorded
  bool verify = false;           // only compare the folder with its filelist.log, changing nothing
  bool verbose = false;          // print each request as it ends
  std::optional<int> transfers;  // files fetched at once; none: as patch.sys says
};

struct CliCommandLine {
  enum class Action { Patch, Help, Usage };
  Action action = Action::Patch;
  CliOptions options;
  std::string problem;  // for Usage: what is wrong with the command line
};

extern const char kCliUsage[];

// The command line without the program's name. Nothing is guessed: an unknown word, a
// repeated --zone, --yes with --no or
// --verify with --repair or --start is a usage problem.
CliCommandLine ParseCliCommandLine(const std::vector<std::string_view>& args);
