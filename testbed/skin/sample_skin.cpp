#include "testbed/skin/sample_skin.h"

#include <string_view>
#include <system_error>
#include <utility>

#include "skin/small_variant.h"
#include "testbed/skin/profile_text.h"
#include "testbed/skin/sample_paint.h"
#include "testbed/skin/sample_skin_art.h"
#include "testbed/skin/sample_skin_layout.h"

namespace sample_skin {
namespace {

using sample_pictures::Format;
using sample_pictures::Picture;

struct ProgressColours {
  sample_pictures::Rgba bar;
  sample_pictures::Rgba ground;
};
constexpr ProgressColours kProgressColours[] = {{{54, 150, 220}, {40, 46, 58}},
                                                {{226, 156, 36}, {40, 46, 58}}};

// Writes pictures under folder/skin and their names as patch.sys gives them.
class PictureWriter {
 public:
  explicit PictureWriter(const std::filesystem::path& folder) : folder_(folder / "skin") {}

  bool MakeFolder(std::string& failure) const {
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error) failure = "cannot create " + folder_.string() + ": " + error.message();
    return !error;
  }

  // The name patch.sys gives the picture; empty, with `failure` set, when a file failed.
  std::string Write(const std::string& name, const Picture& full, const Picture& half,
                    Format format, std::string& failure) const {
    const std::pair<std::string, const Picture*> files[] = {{name, &full},
                                                            {SmallVariantName(name), &half}};
    for (const auto& [file, picture] : files) {
      if (!sample_pictures::Write((folder_ / file).string(), *picture, format)) {
        failure = "cannot write " + (folder_ / file).string();
        return {};
      }
    }
    return "skin\\" + name;
  }

  std::string WritePng(const std::string& name, const Picture& picture,
                       std::string& failure) const {
    return Write(name, picture, sample_paint::HalfSizeByAlpha(picture), Format::Png32, failure);
  }

 private:
  std::filesystem::path folder_;
};

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

bool WriteButtons(const PictureWriter& writer, ProfileText& profile, std::string& failure) {
  constexpr std::pair<ButtonState, const char*> kStates[] = {{ButtonState::Normal, ""},
                                                             {ButtonState::Focus, "-focus"},
                                                             {ButtonState::Pressed, "-down"},
                                                             {ButtonState::Disabled, "-off"}};
  for (const CommandButton& button : kCommandButtons) {
    std::string names[4];
    for (int i = 0; i < 4; ++i) {
      const auto& [state, suffix] = kStates[i];
      names[i] = writer.WritePng(std::string(button.file) + suffix + ".png",
                                 ButtonPicture(button, state), failure);
      if (names[i].empty()) return false;
    }
    SetPlace(profile, button.section, button.place.x, button.place.y);
    SetPictures(profile, button.section, names[0], names[1], names[2], names[3]);
  }
  return true;
}

// The radios, and their labels for either network; a label looks the same in every state.
bool WriteLines(const PictureWriter& writer, ProfileText& profile, std::string& failure) {
  std::string radio = writer.Write("radio.png", RadioPicture(RadioPlace(1).width),
                                   RadioPicture(kHalfRadioSide), Format::Png32, failure);
  if (radio.empty()) return false;
  for (int line = 1; line <= kLines; ++line) {
    std::string number = std::to_string(line);
    std::string section = "Radio" + number;
    SetPlace(profile, section, RadioPlace(line).x, RadioPlace(line).y);
    profile.Set(section, "imagen", radio);
    for (std::string_view network : {"DX", "WT"}) {
      std::string caption = std::string(network) + " LINE " + number;
      std::string file = (network == "DX" ? "dx-line" : "wt-line") + number + ".png";
      std::string label = writer.WritePng(file, LineLabel(caption), failure);
      if (label.empty()) return false;
      std::string labelSection = "RadioD" + std::string(network) + number;
      SetPlace(profile, labelSection, LabelPlace(line).x, LabelPlace(line).y);
      SetPictures(profile, labelSection, label, label, label, label);
    }
  }
  return true;
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
  PictureWriter writer(folder);
  if (!writer.MakeFolder(failure)) return false;
  ProfileText profile;
  Picture background = Background();
  std::string backgroundName =
      writer.Write("background.bmp", background,
                   sample_paint::HalfSizeKeyed(background, kKeyColour), Format::Bmp24, failure);
  if (backgroundName.empty()) return false;
  profile.Set("layout", "image", backgroundName);
  SetColour(profile, "layout", "", kKeyColour);
  if (!WriteButtons(writer, profile, failure) || !WriteLines(writer, profile, failure)) {
    return false;
  }
  SetPlaces(profile);
  for (const ProfileKey& key : extra) profile.Set(key.section, key.key, key.value);
  patchSys = profile.Text();
  return true;
}

}  // namespace sample_skin
