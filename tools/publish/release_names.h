#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// Why a file or folder name of the release cannot be a component of a key; none when it can.
std::optional<std::string> ComponentProblem(std::string_view name);

// Why the patcher could not take the file of this key (\data\a.dat); none when it can.
std::optional<std::string> KeyProblem(std::string_view key);

// The key as the operator knows the file: its path below the release folder, with '/'.
std::string ShownName(std::string_view key);

// Package names as the patcher's side sees them: its temp\ folder and game folder are on
// Windows, which ignores case.
class PackageNames {
 public:
  // Why `key` cannot have a package: another key's would be the same file; none when it can.
  std::optional<std::string> Take(const std::string& key);

 private:
  std::map<std::string, std::string> owners_;  // package name in lower case -> key
};
