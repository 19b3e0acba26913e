#pragma once

// Message boxes go to stderr and are answered at once, so a failure never waits for a click
// that nobody at a benchmark is going to make.
void AnswerBoxesOnConsole();
