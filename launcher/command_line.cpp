#include "launcher/command_line.h"

#include <vector>

namespace {
std::string TrimmedLowerCase(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(' ');
  std::string trimmed(text.substr(first, last - first + 1));
  for (char& c : trimmed) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return trimmed;
}

// Tokens between single blanks: two blanks in a row give an empty token. A tab is no blank.
std::vector<std::string_view> Tokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  for (std::size_t start = 0;;) {
    std::size_t blank = text.find(' ', start);
    tokens.push_back(text.substr(start, blank - start));
    if (blank == std::string_view::npos) return tokens;
    start = blank + 1;
  }
}

bool Contains(std::string_view token, std::string_view word) {
  return token.find(word) != std::string_view::npos;
}
}  // namespace

LaunchPlan PlanLaunch(std::string_view commandLine) {
  std::string words = TrimmedLowerCase(commandLine);
  bool relaunch = false;
  bool runningCopy = false;
  bool steam = false;
  if (!words.empty()) {
    // Only the first word a token contains counts for it: "runningcopyauto" is a running copy.
    for (std::string_view token : Tokens(words)) {
      if (Contains(token, "runningauto")) {
        relaunch = true;
      } else if (Contains(token, "runningcopy")) {
        runningCopy = true;
      } else if (Contains(token, "steam")) {
        steam = true;
      }
    }
  }

  LaunchPlan plan;
  if (!relaunch && !words.empty() && (!steam || runningCopy)) {
    plan.role = LaunchRole::Window;
    plan.steam = steam;
    return plan;
  }
  plan.role = LaunchRole::CopyAndRelaunch;
  plan.copyWords = relaunch ? "runningcopyauto" : "runningcopy";
  if (steam) plan.copyWords += " steam";
  return plan;
}

std::string PatchSysPath(const std::string& currentDirectory) {
  return currentDirectory + "\\patch.sys";
}
