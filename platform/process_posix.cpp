#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <vector>

#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {
std::vector<std::string> Words(const std::string& commandLine) {
  std::vector<std::string> words;
  std::istringstream in(commandLine);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// Windows looks for a bare program name in the current directory before the PATH.
std::string ProgramPath(const std::string& name) {
  struct stat info {};
  if (name.find('/') == std::string::npos && stat(name.c_str(), &info) == 0) return "./" + name;
  return name;
}
}  // namespace

bool StartProcess(const std::string& commandLine) {
  std::vector<std::string> words = Words(commandLine);
  if (words.empty()) return false;
  words[0] = ProgramPath(words[0]);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  return posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
}

}  // namespace platform
