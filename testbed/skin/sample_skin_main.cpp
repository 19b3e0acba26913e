// veldra-sample-skin FOLDER [SECTION.KEY=VALUE ...]: writes the sample skin's pictures into
// FOLDER/skin and prints its sections of patch.sys, with the keys given set as well.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "testbed/skin/sample_skin.h"

namespace {

constexpr const char* kUsage =
    "usage: veldra-sample-skin FOLDER [SECTION.KEY=VALUE ...]\n"
    "Writes the sample skin's pictures into FOLDER/skin and prints its sections of patch.sys\n"
    "with each KEY of SECTION set to VALUE (a section's name may hold dots: the key follows\n"
    "the last dot before the '=').\n";

bool ParseKey(std::string_view argument, sample_skin::ProfileKey& key) {
  std::size_t equals = argument.find('=');
  if (equals == std::string_view::npos) return false;
  std::size_t dot = argument.substr(0, equals).rfind('.');
  if (dot == std::string_view::npos) return false;
  key = {std::string(argument.substr(0, dot)),
         std::string(argument.substr(dot + 1, equals - dot - 1)),
         std::string(argument.substr(equals + 1))};
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string_view(argv[1]).starts_with("-")) {
    std::cerr << kUsage;
    return argc == 2 && std::string_view(argv[1]) == "--help" ? 0 : 1;
  }
  std::vector<sample_skin::ProfileKey> extra;
  for (int i = 2; i < argc; ++i) {
    sample_skin::ProfileKey key;
    if (!ParseKey(argv[i], key)) {
      std::cerr << "veldra-sample-skin: " << argv[i] << " is not SECTION.KEY=VALUE\n" << kUsage;
      return 1;
    }
    extra.push_back(key);
  }
  std::string patchSys, failure;
  if (!sample_skin::WriteSampleSkin(argv[1], extra, patchSys, failure)) {
    std::cerr << "veldra-sample-skin: " << failure << "\n";
    return 1;
  }
  std::cout << patchSys;
  return std::cout.flush() ? 0 : 1;
}
