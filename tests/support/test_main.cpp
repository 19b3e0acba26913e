#include <gtest/gtest.h>

#include "tests/support/scripted_prompt.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  RefuseUnexpectedBoxes();
  return RUN_ALL_TESTS();
}
