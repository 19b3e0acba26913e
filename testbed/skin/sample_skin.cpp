#include "testbed/skin/sample_skin.h"

#include <string_view>
#include <system_error>
#include <utility>

#include "skin/small_variant.h"
#include "testbed/skin/sample_paint.h"
#include "testbed/skin/sample_skin_art.h"
#include "testbed/skin/sample_skin_layout.h"

namespace sample_skin {
namespace {

using sample_pictures::Format;
using sample_pictures::Picture;

// Adds a picture to the skin; the name patch.sys gives it.
std::string Add(Skin& skin, const std::string& name, Picture full, Picture half, Format format) {
  skin.pictures.insert_or_assign(name, SkinPicture{std::move(full), std::move(half), format});
  return "skin\\" + name;
}

std::string AddPng(Skin& skin, const std::string& name, Picture picture) {
  Picture half = sample_paint::HalfSizeByAlpha(picture);
  return Add(skin, name, std::move(picture), std::move(half), Format::Png32);
}

void SetPlace(ProfileText& profile, const std::string& section, int x, int y) {
  profile.Set(section, "X", x);
  profile.Set(section, "Y", y);
}

void SetPictures(ProfileText& profile, const std::string& section, const std::string& normal,
                 const std::string& focus, const std::string& pressed,
                 const std::string& disabled) {
  profile.Set(section, "imagen", normal);
  profile.Set(section, "imageh", focus);
  profile.Set(section, "imaged", pressed);
  profile.Set(section, "imagex", disabled);
}

void AddButtons(Skin& skin) {
  constexpr std::pair<ButtonState, const char*> kStates[] = {{ButtonState::Normal, ""},
                                                             {ButtonState::Focus, "-focus"},
                                                             {ButtonState::Pressed, "-down"},
                                                             {ButtonState::Disabled, "-off"}};
  for (const CommandButton& button : kCommandButtons) {
    std::string names[4];
    for (int i = 0; i < 4; ++i) {
      const auto& [state, suffix] = kStates[i];
      names[i] =
          AddPng(skin, std::string(button.file) + suffix + ".png", ButtonPicture(button, state));
    }
    SetPlace(skin.patchSys, button.section, button.place.x, button.place.y);
    SetPictures(skin.patchSys, button.section, names[0], names[1], names[2], names[3]);
  }
}

// The radios, and their labels for either network; a label looks the same in every state.
void AddLines(Skin& skin) {
  std::string radio = Add(skin, "radio.png", RadioPicture(RadioPlace(1).width),
                          RadioPicture(kHalfRadioSide), Format::Png32);
  for (int line = 1; line <= kLines; ++line) {
    std::string number = std::to_string(line);
    std::string section = "Radio" + number;
    SetPlace(skin.patchSys, section, RadioPlace(line).x, RadioPlace(line).y);
    skin.patchSys.Set(section, "imagen", radio);
    for (std::string_view network : {"DX", "WT"}) {
      std::string caption = std::string(network) + " LINE " + number;
      std::string file = (network == "DX" ? "dx-line" : "wt-line") + number + ".png";
      std::string label = AddPng(skin, file, LineLabel(caption));
      std::string labelSection = "RadioD" + std::string(network) + number;
      SetPlace(skin.patchSys, labelSection, LabelPlace(line).x, LabelPlace(line).y);
      SetPictures(skin.patchSys, labelSection, label, label, label, label);
    }
  }
}

// The keys prefix + "R", "G" and "B".
void SetColour(ProfileText& profile, const std::string& section, const std::string& prefix,
               sample_pictures::Rgba colour) {
  profile.Set(section, prefix + "R", colour.red);
  profile.Set(section, prefix + "G", colour.green);
  profile.Set(section, prefix + "B", colour.blue);
}

void SetPlaces(ProfileText& profile) {
  for (int bar = 0; bar < 2; ++bar) {
    std::string section = "Progress" + std::to_string(bar + 1);
    SetColour(profile, section, "F", kProgressColours[bar].bar);
    SetColour(profile, section, "B", kProgressColours[bar].ground);
    SetPlace(profile, section, kProgress[bar].x, kProgress[bar].y);
    profile.Set(section, "cX", kProgress[bar].width);
    profile.Set(section, "cY", kProgress[bar].height);
  }
  for (int text = 0; text < 4; ++text) {
    SetPlace(profile, "static" + std::to_string(text + 1), kTextPlaces[text].x,
             kTextPlaces[text].y);
  }
  profile.Set("Combo", "x", kCombo.x);
  profile.Set("Combo", "y", kCombo.y);
  profile.Set("Combo", "cx", kCombo.width);
  profile.Set("Combo", "cy", kCombo.height);
  SetPlace(profile, "Browser", kNews.x, kNews.y);
  profile.Set("Browser", "cX", kNews.width);
  profile.Set("Browser", "cY", kNews.height);
}

}  // namespace

Skin SampleSkin() {
  Skin skin;
  Picture background = Background();
  Picture half = sample_paint::HalfSizeKeyed(background, kKeyColour);
  skin.patchSys.Set(
      "layout", "image",
      Add(skin, "background.bmp", std::move(background), std::move(half), Format::Bmp24));
  SetColour(skin.patchSys, "layout", "", kKeyColour);
  AddButtons(skin);
  AddLines(skin);
  SetPlaces(skin.patchSys);
  return skin;
}

bool WritePictures(const Skin& skin, const std::filesystem::path& folder, std::string& failure) {
  std::filesystem::path pictures = folder / "skin";
  std::error_code error;
  std::filesystem::create_directories(pictures, error);
  if (error) {
    failure = "cannot create " + pictures.string() + ": " + error.message();
    return false;
  }
  for (const auto& [name, picture] : skin.pictures) {
    const std::pair<std::string, const Picture*> files[] = {
        {name, &picture.full}, {SmallVariantName(name), &picture.half}};
    for (const auto& [file, drawn] : files) {
      if (!sample_pictures::Write((pictures / file).string(), *drawn, picture.format)) {
        failure = "cannot write " + (pictures / file).string();
        return false;
      }
    }
  }
  return true;
}

bool WriteSampleSkin(const std::filesystem::path& folder, const std::vector<ProfileKey>& extra,
                     std::string& patchSys, std::string& failure) {
  // Refused before any picture is written, so a mistyped key leaves no skin behind.
  ProfileText extraOnly;
  for (const ProfileKey& key : extra) {
    if (!extraOnly.Set(key.section, key.key, key.value)) {
      failure = "cannot put [" + key.section + "] " + key.key + " into patch.sys";
      return false;
    }
  }
  Skin skin = SampleSkin();
  if (!WritePictures(skin, folder, failure)) return false;
  for (const ProfileKey& key : extra) skin.patchSys.Set(key.section, key.key, key.value);
  patchSys = skin.patchSys.Text();
  return true;
}

}  // namespace sample_skin
