#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "testbed/skin/profile_text.h"
#include "testbed/skin/sample_pictures.h"

// The sample skin of the demo and the tests: a shaped window of dark blue with a gold title,
// a news page, a panel for the zone, network and line, and a card with the progress bars.
namespace sample_skin {

// A key of patch.sys that the caller sets beside the skin's own.
struct ProfileKey {
  std::string section;
  std::string key;
  std::string value;
};

// One of a skin's pictures at both sizes: the half-size one goes beside it under its
// small-variant name.
struct SkinPicture {
  sample_pictures::Picture full;
  sample_pictures::Picture half;
  sample_pictures::Format format;
};

// A skin before it is written: its sections of patch.sys, which name each picture
// "skin\NAME", and the pictures by NAME. Tests spoil either before writing it.
struct Skin {
  ProfileText patchSys;
  std::map<std::string, SkinPicture> pictures;
};

Skin SampleSkin();

// Writes every picture of `skin`, with its half-size variant, into folder/skin. False, with
// `failure` telling why, when the folder or a file cannot be written.
bool WritePictures(const Skin& skin, const std::filesystem::path& folder, std::string& failure);

// Writes the sample skin's pictures into folder/skin, and sets `patchSys` to the skin's
// sections of patch.sys with the `extra` keys set after the skin's (a key the skin has takes
// the extra value; other sections follow the skin's). False, with `failure` telling why, when
// a picture cannot be written or an extra key has no place in the file.
bool WriteSampleSkin(const std::filesystem::path& folder, const std::vector<ProfileKey>& extra,
                     std::string& patchSys, std::string& failure);

}  // namespace sample_skin
