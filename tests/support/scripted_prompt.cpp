#include "tests/support/scripted_prompt.h"

#include <gtest/gtest.h>

#include <mutex>

#include "platform/prompt.h"

struct ScriptedPrompt::State {
  std::mutex mutex;
  std::deque<int> answers;
  std::vector<Box> shown;
};

ScriptedPrompt::ScriptedPrompt() : state_(new State) {
  platform::SetPromptHook(
      [state = state_](const std::string& text, const std::string& caption, unsigned style) {
        std::lock_guard<std::mutex> guard(state->mutex);
        state->shown.push_back({text, caption, style});
        if (state->answers.empty()) {
          ADD_FAILURE() << "unexpected message box \"" << caption << "\": " << text;
          return platform::kAnswerNo;
        }
        int answer = state->answers.front();
        state->answers.pop_front();
        return answer;
      });
}

ScriptedPrompt::~ScriptedPrompt() {
  RefuseUnexpectedBoxes();
  delete state_;
}

ScriptedPrompt& ScriptedPrompt::Then(int answer) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  state_->answers.push_back(answer);
  return *this;
}

std::vector<ScriptedPrompt::Box> ScriptedPrompt::Shown() const {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->shown;
}

void RefuseUnexpectedBoxes() {
  platform::SetPromptHook([](const std::string& text, const std::string& caption, unsigned) {
    ADD_FAILURE() << "unexpected message box \"" << caption << "\": " << text;
    return platform::kAnswerNo;
  });
}
