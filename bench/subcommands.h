#pragma once

#include <string>
#include <vector>

// Exit statuses shared by every subcommand.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitFailed = 2;

// A subcommand gets the words after its own name; kExitUsage makes main print its usage.
struct Subcommand {
  const char* name;
  const char* arguments;
  const char* summary;  // what it runs and what it leaves changed, for the usage text
  int (*run)(const std::vector<std::string>& args);
};

int RunDownload(const std::vector<std::string>& args);
int RunDigest(const std::vector<std::string>& args);
int RunUnpack(const std::vector<std::string>& args);
int RunStatusLog(const std::vector<std::string>& args);
int RunStamp(const std::vector<std::string>& args);
int RunMatch(const std::vector<std::string>& args);
