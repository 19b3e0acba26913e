#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ReleaseFile {
  std::string key;             // \data\maps\a.dat
  std::filesystem::path path;  // where it is read, through any link it was reached by
};

// Every regular file below `releaseDir`, in key order. Links are followed when what they
// point at is inside the release folder. Throws PublishError naming every file that cannot
// be published.
std::vector<ReleaseFile> ListReleaseFiles(const std::filesystem::path& releaseDir);

// True when `path` is `folder` or below it; both canonical.
bool IsWithin(const std::filesystem::path& folder, const std::filesystem::path& path);
