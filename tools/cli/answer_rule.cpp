#include "tools/cli/answer_rule.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/prompt.h"

namespace {

constexpr unsigned kButtonsMask = 0xF;  // the icon bits say nothing about the buttons

std::string_view Trimmed(std::string_view text) {
  const char* blanks = " \t\r\n";
  std::size_t start = text.find_first_not_of(blanks);
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

}  // namespace

bool IsQuestion(unsigned style) { return (style & kButtonsMask) == platform::kBoxYesNo; }

std::optional<int> AnswerWithoutAsking(unsigned style, Answering answering, bool canAsk) {
  if (!IsQuestion(style)) return platform::kAnswerOk;
  if (answering == Answering::Yes) return platform::kAnswerYes;
  if (answering == Answering::Ask && canAsk) return std::nullopt;
  return platform::kAnswerNo;
}

int AnswerOfReply(std::string_view reply) {
  std::string word(Trimmed(reply));
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return word == "y" || word == "yes" ? platform::kAnswerYes : platform::kAnswerNo;
}
