// oBitmapBTN bound to a real control: the picture each state draws, and what LoadSkin reads.
#include <gtest/gtest.h>

#include <string>

#include "testbed/skin/sample_pictures.h"
#include "tests/support/scratch_folder.h"
#include "tests/win32/skinned_test_dialog.h"

namespace {

using sample_pictures::Rgba;

constexpr Rgba kDown{255, 0, 0, 255};
constexpr Rgba kNormal{0, 255, 0, 255};
constexpr Rgba kFocus{0, 0, 255, 255};
constexpr Rgba kDisabled{255, 255, 0, 255};
constexpr Rgba kUntouched{9, 9, 9, 255};

class BitmapButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dialog.Open(300, 200));
    skin = folder.path() + "\\skin.ini";
  }

  void WriteSkin(const std::string& text) const { folder.Write("skin.ini", text); }
  static void WritePicture(const std::string& name, int width, int height, Rgba colour) {
    ASSERT_TRUE(sample_pictures::Write(name, sample_pictures::Picture(width, height, colour),
                                       sample_pictures::Format::Png32));
  }
  // The button's place in the dialog's client area and its size.
  RECT PlaceOf(const oBitmapBTN& button) const {
    RECT place{};
    button.GetWindowRect(&place);
    MapWindowPoints(nullptr, dialog.m_hWnd, reinterpret_cast<POINT*>(&place), 2);
    return place;
  }

  // What the button draws for the state, through the dialog's owner-draw message.
  Rgba Drawn(const oBitmapBTN& button, UINT state) const {
    Surface surface(4, 4, kUntouched);
    DRAWITEMSTRUCT item{ODT_BUTTON,
                        static_cast<UINT>(GetDlgCtrlID(button.m_hWnd)),
                        0,
                        ODA_DRAWENTIRE,
                        state,
                        button.m_hWnd,
                        surface.dc(),
                        RECT{0, 0, 4, 4},
                        0};
    dialog.SendMessage(WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
    return surface.At(0, 0);
  }

  // One picture of its own colour for each state, loaded into the first button at (x, y).
  void LoadFourStates(int size, int x, int y) {
    WritePicture("d.png", size, size, kDown);
    WritePicture("n.png", size, size, kNormal);
    WritePicture("h.png", size, size, kFocus);
    WritePicture("x.png", size, size, kDisabled);
    WriteSkin("[All]\r\nX=" + std::to_string(x) + "\r\nY=" + std::to_string(y) +
              "\r\nimaged=d.png\r\nimagen=n.png\r\nimageh=h.png\r\nimagex=x.png\r\n"
              "[NormalOnly]\r\nX=40\r\nY=1\r\nimagen=n.png\r\n");
    ASSERT_TRUE(dialog.picture.LoadSkin("All", skin, false));
  }

  ScratchFolder folder;
  SkinnedTestDialog dialog;
  std::string skin;
};

TEST_F(BitmapButtonTest, EachStateDrawsItsPictureDisabledFirstThenPressedThenFocused) {
  LoadFourStates(4, 1, 1);
  ASSERT_TRUE(dialog.second.LoadSkin("NormalOnly", skin, false));

  struct Case {
    UINT state;
    Rgba all;
    Rgba normalOnly;
  } cases[] = {
      {0, kNormal, kNormal},
      {ODS_FOCUS, kFocus, kUntouched},
      {ODS_SELECTED, kDown, kUntouched},
      {ODS_SELECTED | ODS_FOCUS, kDown, kUntouched},
      {ODS_DISABLED, kDisabled, kUntouched},
      {ODS_DISABLED | ODS_FOCUS, kDisabled, kUntouched},
      {ODS_DISABLED | ODS_SELECTED, kDisabled, kUntouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(Drawn(dialog.picture, c.state), c.all);
    // A slot never loaded draws nothing.
    EXPECT_EQ(Drawn(dialog.second, c.state), c.normalOnly);
  }
}

// The states as the system itself gives them when the button paints on the screen.
TEST_F(BitmapButtonTest, SystemStatesShowTheirPicturesOnTheScreen) {
  LoadFourStates(6, 20, 30);
  dialog.ShowWindow(SW_SHOW);
  SetForegroundWindow(dialog.m_hWnd);
  HWND button = dialog.picture.m_hWnd;
  auto shown = [&] {
    PaintNow(dialog.m_hWnd);
    RECT place{};
    GetWindowRect(button, &place);
    return CaptureScreen(place).at(3, 3);
  };

  SetFocus(dialog.second.m_hWnd);
  EXPECT_EQ(shown(), kNormal);
  SetFocus(button);
  EXPECT_EQ(shown(), kFocus);
  SendMessageA(button, BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(shown(), kDown);
  SendMessageA(button, BM_SETSTATE, FALSE, 0);
  EnableWindow(button, FALSE);
  EXPECT_EQ(shown(), kDisabled);
}

TEST_F(BitmapButtonTest, MissingPlaceHidesTheButtonForGood) {
  WritePicture("n.png", 8, 6, kNormal);
  WriteSkin(
      "[NoY]\r\nX=5\r\nimagen=n.png\r\n[MinusOne]\r\nX=-1\r\nY=3\r\n"
      "[Placed]\r\nX=7\r\nY=9\r\nimagen=n.png\r\n");
  dialog.picture.ShowWindow(SW_SHOWNOACTIVATE);
  EXPECT_TRUE(dialog.picture.LoadSkin("NoY", skin, false));
  EXPECT_FALSE(dialog.picture.IsWindowVisible());
  EXPECT_TRUE(dialog.picture.m_imageNormal.IsNull());

  dialog.second.ShowWindow(SW_SHOWNOACTIVATE);
  EXPECT_TRUE(dialog.second.LoadSkin("MinusOne", skin, true));
  EXPECT_FALSE(dialog.second.IsWindowVisible());

  // A later load places it but does not show it.
  ASSERT_TRUE(dialog.picture.LoadSkin("Placed", skin, false));
  EXPECT_FALSE(dialog.picture.IsWindowVisible());
  RECT place = PlaceOf(dialog.picture);
  EXPECT_EQ(place.left, 7);
  EXPECT_EQ(place.top, 9);
}

TEST_F(BitmapButtonTest, HalfSizeHalvesThePlaceAndLoadsTheSmallVariants) {
  // Only the small variants exist, so the full-size names cannot be what loaded.
  WritePicture("btn-s.png", 12, 5, kNormal);
  CreateDirectoryA("skin-s.old", nullptr);
  WritePicture("skin-s.old\\down", 3, 9, kDown);
  WriteSkin("[Half]\r\nX=101\r\nY=-3\r\nimagen=btn.png\r\nimaged=skin.old\\down\r\n");
  ASSERT_TRUE(dialog.picture.LoadSkin("Half", skin, true));
  RECT place = PlaceOf(dialog.picture);
  EXPECT_EQ(place.left, 50);
  EXPECT_EQ(place.top, -2);
  EXPECT_EQ(place.right - place.left, 12);
  EXPECT_EQ(place.bottom - place.top, 9);

  // The longest name a section holds gains its two characters whole, and fails cleanly.
  WriteSkin("[Long]\r\nX=1\r\nY=1\r\nimagen=" + std::string(507, 'n') + ".png\r\n");
  EXPECT_FALSE(dialog.picture.LoadSkin("Long", skin, true));
}

TEST_F(BitmapButtonTest, FailedPictureLeavesPlaceSizeAndEarlierSlots) {
  WritePicture("d.png", 10, 10, kDown);
  WritePicture("big.png", 30, 20, kNormal);
  WritePicture("small.png", 10, 5, kNormal);
  WriteSkin(
      "[Big]\r\nX=4\r\nY=6\r\nimagen=big.png\r\n"
      "[Broken]\r\nX=50\r\nY=60\r\nimaged=d.png\r\nimagen=missing.png\r\n"
      "[Small]\r\nX=8\r\nY=2\r\nimagen=small.png\r\n");
  ASSERT_TRUE(dialog.picture.LoadSkin("Big", skin, false));

  EXPECT_FALSE(dialog.picture.LoadSkin("Broken", skin, false));
  RECT place = PlaceOf(dialog.picture);
  EXPECT_EQ(place.left, 4);
  EXPECT_EQ(place.top, 6);
  EXPECT_EQ(place.right - place.left, 30);
  EXPECT_FALSE(dialog.picture.m_imageDown.IsNull());

  // Smaller pictures later keep the larger size.
  ASSERT_TRUE(dialog.picture.LoadSkin("Small", skin, false));
  place = PlaceOf(dialog.picture);
  EXPECT_EQ(place.left, 8);
  EXPECT_EQ(place.right - place.left, 30);
  EXPECT_EQ(place.bottom - place.top, 20);
}

TEST_F(BitmapButtonTest, LoadingRaisesTheButtonAboveItsSiblings) {
  WritePicture("n.png", 8, 6, kNormal);
  WriteSkin("[Placed]\r\nX=7\r\nY=9\r\nimagen=n.png\r\n");
  ASSERT_TRUE(dialog.second.LoadSkin("Placed", skin, false));
  EXPECT_EQ(GetWindow(dialog.m_hWnd, GW_CHILD), dialog.second.m_hWnd);
  ASSERT_TRUE(dialog.picture.LoadSkin("Placed", skin, false));
  EXPECT_EQ(GetWindow(dialog.m_hWnd, GW_CHILD), dialog.picture.m_hWnd);
  EXPECT_EQ(GetWindow(dialog.picture.m_hWnd, GW_HWNDNEXT), dialog.second.m_hWnd);
}

}  // namespace
