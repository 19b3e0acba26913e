#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/console_prompt.h"
#include "bench/subcommands.h"

namespace {

constexpr Subcommand kSubcommands[] = {
    {"download", "HOST PORT FOLDER NAME...",
     "Fetches each NAME of FOLDER on HOST:PORT into temp\\NAME, as the patcher does.", RunDownload},
    {"digest", "[--list] DIR",
     "Digests every file below DIR as a first local check does, timing the walk and the\n"
     "digest pass apart. Removes the status and stamps logs that the pass saves in DIR, so\n"
     "DIR is left as it was; refuses a DIR that holds them already. --list adds md5sum's\n"
     "lines.",
     RunDigest},
    {"unpack", "DIR",
     "Unpacks the packages in DIR/temp into DIR as the patcher does, which deletes them.\n"
     "Removes the status and stamps logs that the stage saves in DIR; refuses a DIR that\n"
     "holds them already.",
     RunUnpack},
    {"statuslog", "N",
     "Saves a status log of N entries in the current directory and loads it as the local\n"
     "check does, timing each; then removes it and its stamps. Refuses a directory that\n"
     "holds them already.",
     RunStatusLog},
    {"stamp", "DIR",
     "Reads DIR/filelist.log and takes the size and last-write time of every file it lists,\n"
     "as the light check does, without digesting any; prints how many were found. Changes\n"
     "nothing.",
     RunStamp},
    {"match", "FILE INDEX",
     "Finds which chunks of the chunk index INDEX the file FILE holds, in one read pass, as\n"
     "the patcher does before it fetches the others; prints how many. Changes nothing.",
     RunMatch},
};

void PrintIndented(const std::string& text) {
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    std::fprintf(stderr, "    %s\n", text.substr(start, end - start).c_str());
    start = end + 1;
  }
}

void PrintUsage(const Subcommand* only) {
  for (const Subcommand& command : kSubcommands) {
    if (only == nullptr || only == &command) {
      std::fprintf(stderr, "usage: veldra-bench %s %s\n", command.name, command.arguments);
      PrintIndented(command.summary);
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
