#pragma once

#include <string>
#include <string_view>

namespace platform {

// A name as this system's file system compares names: two names that give the same result
// are one file. Windows ignores letter case (by the ANSI code page's rules); POSIX does not.
std::string ComparableName(std::string name);

}  // namespace platform
