#pragma once

#include <string>

// The name of a skin picture's half-size variant, which small screens load instead: "-s" goes
// before the last dot of the whole name (a dot in a folder name counts too), or at the end of
// a name without one. An empty name stays empty.
std::string SmallVariantName(const std::string& name);
