#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/prompt.h"

// Answers the message boxes of the code under test from a script, in order, and records
// every box. A box beyond the script fails the test. Boxes may come from the worker thread.
class ScriptedPrompt {
 public:
  using Box = platform::PromptBox;

  ScriptedPrompt();
  ~ScriptedPrompt();
  ScriptedPrompt(const ScriptedPrompt&) = delete;
  ScriptedPrompt& operator=(const ScriptedPrompt&) = delete;

  // The next box is answered with `answer`.
  ScriptedPrompt& Then(int answer);
  std::vector<Box> Shown() const;

 private:
  struct State;
  State* state_;
};

// Installed for every test program: any box no test expected fails the test.
void RefuseUnexpectedBoxes();
