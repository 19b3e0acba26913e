#pragma once

#include <filesystem>
#include <string>

#include "engine/md5.h"
#include "platform/files.h"

// Reading the files a publish takes in. Each throws PublishError naming the file.
//
// platform::File takes '\' for a separator, so these paths must not hold one; the command
// line and the release walk refuse such names first.
platform::File OpenForReading(const std::filesystem::path& path);
// The MD5 of the open file from its current position to its end.
Digest DigestOfOpenFile(platform::File& file, const std::filesystem::path& path);
std::string ReadWhole(const std::filesystem::path& path);
