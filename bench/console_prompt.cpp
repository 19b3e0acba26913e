#include "bench/console_prompt.h"

#include <cstdio>
#include <string>

#include "platform/prompt.h"

void AnswerBoxesOnConsole() {
  platform::SetPromptHook([](const platform::PromptBox& box) {
    std::fprintf(stderr, "box \"%s\": %s%s%s\n", box.caption.c_str(), box.text.c_str(),
                 box.reason.empty() ? "" : ": ", box.reason.c_str());
    std::fflush(stderr);
    // A question gets the answer that leaves things as they are.
    return (box.style & 0xf) == platform::kBoxYesNo ? platform::kAnswerNo : platform::kAnswerOk;
  });
}
