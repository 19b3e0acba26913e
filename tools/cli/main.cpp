#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/built_in_key.h"
#include "launcher/command_line.h"
#include "platform/files.h"
#include "tools/cli/box_answers.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/console.h"
#include "tools/cli/interrupt.h"
#include "tools/cli/patch_run.h"
#include "tools/cli/start_program.h"
#include "tools/cli/terminal.h"
#include "tools/cli/verify_run.h"
#include "tools/terminal/printable_text.h"
#include "tools/terminal/terminal_width.h"

namespace {
constexpr int kExitUsage = 1;
}  // namespace

int main(int argc, char** argv) {
  const CliCommandLine line =
      ParseCliCommandLine(std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (line.action == CliCommandLine::Action::Help) {
    std::cout << kCliUsage;
    return 0;
  }
  if (line.action == CliCommandLine::Action::Usage) {
    std::cerr << "veldra-cli: " << PrintableText(line.problem)
              << "\n(veldra-cli --help tells more)\n";
    return kExitUsage;
  }

  CatchInterrupt();
  auto console =
      std::make_shared<Console>(std::cout, std::cerr, TerminalColumns(StandardStream::Output));
  AnswerBoxesOnConsole(console, line.options.answering);
  const std::string configPath = PatchSysPath(platform::CurrentDirectory());
  if (line.options.verify) return VerifyGameFolder(configPath, *console, std::cout);
  const RunEnd end = PatchRuns{line.options.zone,     configPath,          *console,
                               line.options.repair,   BuiltInReleaseKey(), line.options.verbose,
                               line.options.transfers}
                         .RunUntilSettled();
  if (end.state == PatchState::Done && line.options.start) {
    return StartGameProgram(configPath, *console);
  }
  return ExitStatusOf(end);
}
