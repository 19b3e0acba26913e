// The window tests spoil the sample skin before they write it: what they take out must be
// gone from the files, and nothing else.
#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/profile.h"
#include "skin/small_variant.h"
#include "testbed/skin/sample_skin.h"
#include "testbed/skin/sample_skin_layout.h"
#include "tests/support/scratch_folder.h"

namespace {

TEST(SkinSpoilingTest, KeysAndPicturesTakenOutAreMissingFromTheWrittenSkin) {
  sample_skin::Skin skin = sample_skin::SampleSkin();
  // Read as the profile lookups read them: names in any case.
  const std::string gone = skin.patchSys.Get("radioddx3", "IMAGEN").substr(5);
  const std::string kept = skin.patchSys.Get("RadioDWT3", "imagen").substr(5);
  ASSERT_TRUE(skin.pictures.contains(gone));
  ASSERT_TRUE(skin.pictures.contains(kept));
  skin.pictures.erase(gone);
  skin.patchSys.Erase("COMBO", "X");
  skin.patchSys.Set("combo", "Zone1", "Alpha");
  skin.patchSys.Set("Button3", "Exe", "");

  ScratchFolder folder;
  std::string failure;
  ASSERT_TRUE(sample_skin::WritePictures(skin, folder.path(), failure)) << failure;
  folder.Write("patch.sys", skin.patchSys.Text());
  platform::ProfileReader profile(folder.path() + "/patch.sys");
  EXPECT_EQ(profile.Int("Combo", "x", -1), -1);
  EXPECT_EQ(profile.Int("Combo", "y", -1), sample_skin::kCombo.y);
  EXPECT_EQ(profile.String("Combo", "Zone1", "none", 64), "Alpha");
  EXPECT_EQ(profile.String("Button3", "Exe", "none", 64), "");

  for (const std::string& name : {gone, kept}) {
    EXPECT_EQ(platform::PathExists("skin/" + name), name == kept) << name;
    EXPECT_EQ(platform::PathExists("skin/" + SmallVariantName(name)), name == kept) << name;
  }
}

}  // namespace
