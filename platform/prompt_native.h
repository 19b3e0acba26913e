#pragma once

#include <optional>
#include <string>

#include "platform/prompt.h"

// The real boxes, one source file per platform.
namespace platform {
int ShowNativeMessage(const std::string& text, const std::string& caption, unsigned style);
int ShowNativeAppMessage(const std::string& text, unsigned style);

// The hook's answer when a hook is set (SetPromptHook); none when the real box must be shown.
std::optional<int> AnswerFromHook(const PromptBox& box);
}  // namespace platform
