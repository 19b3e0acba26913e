#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {
fs::path Native(const std::string& name) {
  std::string slashed = name;
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  return fs::path(slashed);
}
}  // namespace

ScratchFolder::ScratchFolder() : previous_(fs::current_path().string()) {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path folder = fs::temp_directory_path() /
                    ("veldra-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(folder);
  fs::current_path(folder);
  path_ = fs::current_path().string();
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}

void ScratchFolder::Write(const std::string& name, const std::string& content) const {
  fs::path target = Native(name);
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good()) << name;
}

std::string ScratchFolder::Read(const std::string& name) const {
  std::ifstream in(Native(name), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}
