#include <cstdio>
#include <string>
#include <vector>

#include "bench/console_prompt.h"
#include "bench/subcommands.h"

namespace {

constexpr Subcommand kSubcommands[] = {
    {"download", "HOST PORT FOLDER NAME...", RunDownload},
};

void PrintUsage(const Subcommand* only) {
  for (const Subcommand& command : kSubcommands) {
    if (only == nullptr || only == &command) {
      std::fprintf(stderr, "usage: veldra-bench %s %s\n", command.name, command.arguments);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (words.empty()) {
    PrintUsage(nullptr);
    return kExitUsage;
  }
  for (const Subcommand& command : kSubcommands) {
    if (words.front() != command.name) continue;
    AnswerBoxesOnConsole();
    int status = command.run(std::vector<std::string>(words.begin() + 1, words.end()));
    if (status == kExitUsage) PrintUsage(&command);
    return status;
  }
  std::fprintf(stderr, "veldra-bench: unknown subcommand \"%s\"\n", words.front().c_str());
  PrintUsage(nullptr);
  return kExitUsage;
}
