#include "bench/enter_folder.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

bool EnterFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::current_path(folder, error);
  if (!error) return true;
  std::fprintf(stderr, "veldra-bench: cannot enter %s: %s\n", folder.c_str(),
               error.message().c_str());
  return false;
}
