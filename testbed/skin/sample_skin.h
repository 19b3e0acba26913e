#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The sample skin of the demo and the tests: a shaped window of dark blue with a gold title,
// a news page, a panel for the zone, network and line, and a card with the progress bars.
namespace sample_skin {

// A key of patch.sys that the caller sets beside the skin's own.
struct ProfileKey {
  std::string section;
  std::string key;
  std::string value;
};

// Writes the skin's pictures, each with its half-size variant, into folder/skin, and sets
// `patchSys` to the skin's sections of patch.sys with the `extra` keys set after the skin's
// (a key the skin has takes the extra value; other sections follow the skin's). False, with
// `failure` telling why, when a picture cannot be written or an extra key has no place in the
// file.
bool WriteSampleSkin(const std::filesystem::path& folder, const std::vector<ProfileKey>& extra,
                     std::string& patchSys, std::string& failure);

}  // namespace sample_skin
