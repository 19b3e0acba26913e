#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/prompt.h"
#include "platform/prompt_native.h"

// Without a desktop the box is a question on the terminal; with no terminal to answer it,
// the answer is No (or OK where that is the only button).
namespace platform {
namespace {
int AnswerWithoutTerminal(unsigned style) {
  return (style & 0xF) == kBoxYesNo ? kAnswerNo : kAnswerOk;
}
}  // namespace

int ShowNativeMessage(const std::string& text, const std::string& caption, unsigned style) {
  std::cerr << caption << ": " << text << std::endl;
  if ((style & 0xF) != kBoxYesNo) return kAnswerOk;
  if (!isatty(STDIN_FILENO)) return AnswerWithoutTerminal(style);
  std::cerr << "[y/N] " << std::flush;
  std::string answer;
  std::getline(std::cin, answer);
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y') ? kAnswerYes : kAnswerNo;
}

int ShowNativeAppMessage(const std::string& text, unsigned) {
  std::cerr << "veldra: " << text << std::endl;
  return kAnswerOk;
}

}  // namespace platform
