#include "tools/cli/box_answers.h"

#include <optional>
#include <string>

#include "platform/prompt.h"
#include "tools/cli/console.h"
#include "tools/cli/terminal.h"

namespace {

const char* Reason(Answering answering) {
  switch (answering) {
    case Answering::Yes:
      return "--yes";
    case Answering::No:
      return "--no";
    case Answering::Ask:
      break;
  }
  return "no terminal to ask on";
}

std::string AnsweredLine(int answer, const std::string& reason) {
  return std::string("veldra-cli: answered ") + (answer == platform::kAnswerYes ? "yes" : "no") +
         " (" + reason + ")";
}

int AskOnTerminal(Console& console) {
  console.BeginQuestion("[y/N] ");
  std::optional<std::string> reply = ReadAnswerLine();
  console.EndQuestion();
  if (!reply) {
    console.Tell("");  // the prompt's line is ended
    console.Tell(AnsweredLine(platform::kAnswerNo, "no answer"));
    return platform::kAnswerNo;
  }
  int answer = AnswerOfReply(*reply);
  console.Tell(AnsweredLine(answer, "typed"));
  return answer;
}

}  // namespace

void AnswerBoxesOnConsole(std::shared_ptr<Console> console, Answering answering) {
  platform::SetPromptHook(
      [console = std::move(console), answering](const platform::PromptBox& box) {
        console->Tell((box.caption.empty() ? std::string("veldra") : box.caption) + ": " +
                      box.text + (box.reason.empty() ? "" : ": " + box.reason));
        const bool canAsk = answering == Answering::Ask && StdinIsTerminal();
        std::optional<int> answer = AnswerWithoutAsking(box.style, answering, canAsk);
        if (!answer) return AskOnTerminal(*console);
        if (IsQuestion(box.style)) console->Tell(AnsweredLine(*answer, Reason(answering)));
        return *answer;
      });
}
