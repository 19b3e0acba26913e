#pragma once

#include <optional>

#include "platform/signature.h"

// The operator's public release key that this program was built with (the CMake option
// VELDRA_RELEASE_KEY); none when it was built without one, and then releases are not checked.
// It lives in the program, never in a file that a server could replace.
std::optional<platform::P256PublicKey> BuiltInReleaseKey();
