#pragma once

#include <optional>
#include <string_view>

// How the questions of a run get their answers.
enum class Answering {
  Ask,  // on the terminal, when standard input is one; otherwise No
  Yes,
  No,
};

// A box with Yes and No, whatever its icon.
bool IsQuestion(unsigned style);

// The answer to a box that needs no one at the keyboard: OK for a box with nothing to choose,
// the preset answer for a question, No when there is no terminal to ask on. None when the
// question is to be asked.
std::optional<int> AnswerWithoutAsking(unsigned style, Answering answering, bool canAsk);

// What the user typed: "y" or "yes" in any case, blanks around it allowed, is Yes; anything
// else, an empty line included, is No, which leaves things as they are.
int AnswerOfReply(std::string_view reply);
