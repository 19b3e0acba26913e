#pragma once

#include <memory>

#include "tools/cli/answer_rule.h"

class Console;

// Every message box of the engine becomes lines on the console, and each question gets its
// answer by `answering`. The boxes come from the worker thread; the hook holds the console,
// so a box still being shown when the program ends finds it intact.
void AnswerBoxesOnConsole(std::shared_ptr<Console> console, Answering answering);
