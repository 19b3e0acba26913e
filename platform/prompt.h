#pragma once

#include <functional>
#include <string>

namespace platform {

// Message box styles and answers, with the values of the Windows API.
constexpr unsigned kBoxOk = 0x0;
constexpr unsigned kBoxYesNo = 0x4;
constexpr unsigned kBoxIconError = 0x10;
constexpr unsigned kBoxIconExclamation = 0x30;
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// Shows a message box without an owner window and waits for the answer. Any thread may call it.
// `reason` says why something failed, for a box whose text must stay as it is: the real box
// does not show it (the window's status line does), a hook is given it.
int ShowMessage(const std::string& text, const std::string& caption, unsigned style,
                const std::string& reason = "");

// The framework's own box, without an owner window: OK only, the running executable's name
// without its extension as caption ("_veldra" in the running copy). No icon unless a message
// asks for one: `style` is kBoxOk or kBoxOk | kBoxIconExclamation.
int ShowAppMessage(const std::string& text, unsigned style = kBoxOk);

// A box as the hook is asked it. `caption` is empty for ShowAppMessage, whose caption is the
// executable's name rather than a text of the message.
struct PromptBox {
  std::string text;
  std::string caption;
  unsigned style = 0;
  std::string reason;
};

// Replaces every box by a call to the hook (tests script their answers); an empty hook
// restores the real boxes.
using PromptHook = std::function<int(const PromptBox& box)>;
void SetPromptHook(PromptHook hook);

}  // namespace platform
