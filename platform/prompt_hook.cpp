#include <mutex>

#include "platform/prompt.h"
#include "platform/prompt_native.h"

namespace platform {
namespace {
std::mutex hookMutex;
PromptHook& Hook() {
  static PromptHook hook;
  return hook;
}

// A copy of the hook, so the box is shown without the mutex held.
PromptHook CurrentHook() {
  std::lock_guard<std::mutex> guard(hookMutex);
  return Hook();
}
}  // namespace

void SetPromptHook(PromptHook hook) {
  std::lock_guard<std::mutex> guard(hookMutex);
  Hook() = std::move(hook);
}

std::optional<int> AnswerFromHook(const PromptBox& box) {
  if (PromptHook hook = CurrentHook()) return hook(box);
  return std::nullopt;
}

int ShowMessage(const std::string& text, const std::string& caption, unsigned style,
                const std::string& reason) {
  if (std::optional<int> answer = AnswerFromHook({text, caption, style, reason})) return *answer;
  return ShowNativeMessage(text, caption, style);
}

int ShowAppMessage(const std::string& text, unsigned style) {
  if (std::optional<int> answer = AnswerFromHook({text, "", style, ""})) return *answer;
  return ShowNativeAppMessage(text, style);
}

}  // namespace platform
