#include <iostream>
#include <string_view>
#include <vector>

#include "tools/publish/publish_command.h"
#include "tools/terminal/terminal_width.h"

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  return RunPublishCommand(args, std::cout, std::cerr, TerminalColumns(StandardStream::Error));
}
