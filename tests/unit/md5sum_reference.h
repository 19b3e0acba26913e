#pragma once

#include <optional>
#include <string>

#include "engine/md5.h"

// md5sum, where the tests can start it: natively, not under Wine.
bool Md5sumReachable();
// The digest md5sum gives for the named file; none when it could not be had.
std::optional<Digest> Md5sumDigestOf(const std::string& name);
