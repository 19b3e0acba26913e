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
  platform::SetPromptHook([state = state_](const platform::PromptBox& box) {
    std::lock_guard<std::mutex> guard(state->mutex);
    state->shown.push_back(box);
    if (state->answers.empty()) {
      ADD_FAILURE() << "unexpected message box \"" << box.caption << "\": " << box.text;
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
  platform::SetPromptHook([](const platform::PromptBox& box) {
    ADD_FAILURE() << "unexpected message box \"" << box.caption << "\": " << box.text;
    return platform::kAnswerNo;
  });
}
