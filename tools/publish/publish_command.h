#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

// veldra-publish with its arguments (the program's name left out): the summary goes to `out`,
// errors and, given the columns of the terminal it is, the progress line to `err`. The exit
// status: 0 when the server folder is up to date, 1 on bad usage or when the publish failed.
int RunPublishCommand(const std::vector<std::string_view>& args, std::ostream& out,
                      std::ostream& err, std::optional<std::size_t> terminalColumns);
