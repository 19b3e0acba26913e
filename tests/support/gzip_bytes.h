#pragma once

#include <string>
#include <string_view>

// One gzip member holding `content`, made in memory for tests.
std::string GzipBytes(std::string_view content);
