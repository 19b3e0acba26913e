#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class Maintenance { On, Off };

struct PublishOptions {
  std::filesystem::path releaseDir;
  std::filesystem::path serverDir;
  std::optional<std::filesystem::path> exe;                  // whose digest pserv.log announces
  std::vector<std::pair<std::string, std::string>> servers;  // name, address; in order
  std::optional<std::string> required;                       // remote.ver's version
  std::optional<std::string> folder;                         // remote.ver's second line
  std::optional<std::string> latest;                         // latest.ver's version
  std::optional<std::filesystem::path> patchSys;
  std::optional<Maintenance> maintenance;  // none: lock.ftp stays as it is
  int level = 9;
  std::optional<std::filesystem::path> signKey;  // signs the release into release.sig
  std::size_t keptPublishes = 5;                 // whose chunks and indexes stay, at least 1
  std::chrono::seconds grace{24 * 60 * 60};      // how long others stay once unused
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

extern const char kUsage[];

// The options of a command line (without the program's name); none when it asks for --help.
// Throws UsageError.
std::optional<PublishOptions> ParseCommandLine(const std::vector<std::string_view>& args);
