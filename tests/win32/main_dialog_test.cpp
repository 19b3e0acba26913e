// The patcher's window as a player meets it: the real dialog with real skin pictures, run
// modally on a thread of its own as the launcher runs it, driven by the messages a player's
// clicks send, read back with Win32 calls and from the screen.
#include "window/main_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/shell.h"
#include "resources/resource.h"
#include "testbed/skin/sample_pictures.h"
#include "testbed/skin/sample_skin.h"
#include "testbed/skin/sample_skin_layout.h"
#include "testbed/windows/window_checks.h"
#include "tests/support/recorder_program.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/scripted_prompt.h"

namespace {

using sample_pictures::Picture;
using sample_pictures::Rgba;
using sample_skin::Skin;

constexpr int kCommandIds[] = {1000, 1001, 1002, 1003, 1013, 1014, 1015, 1016, 1017, 1018};
constexpr int kRadioIds[] = {1022, 1042, 1043, 1044, 1041, 1045, 1046, 1047};

// The sample skin, with zones in the list (the list ends at the missing Zone3) and a game to
// start. Tests spoil entries before the window opens.
Skin TestSkin() {
  static const Skin sample = sample_skin::SampleSkin();
  Skin skin = sample;
  const std::pair<const char*, const char*> zones[] = {
      {"Zone0", "Home"}, {"Zone1", "Alpha"}, {"Zone2", "Beta"}, {"Zone4", "Gamma"}};
  for (const auto& [key, zone] : zones) skin.patchSys.Set("Combo", key, zone);
  skin.patchSys.Set("Button3", "Exe", "game.exe");
  return skin;
}

void WriteSkin(const Skin& skin, const ScratchFolder& folder) {
  folder.Write("patch.sys", skin.patchSys.Text());
  std::string failure;
  ASSERT_TRUE(sample_skin::WritePictures(skin, folder.path(), failure)) << failure;
}

// The file under skin\ that a picture key names.
std::string PictureFile(const Skin& skin, const std::string& section, const std::string& key) {
  std::string name = skin.patchSys.Get(section, key);
  return name.starts_with("skin\\") ? name.substr(5) : name;
}

const sample_skin::SkinPicture& PictureOf(const Skin& skin, const std::string& section) {
  return skin.pictures.at(PictureFile(skin, section, "imagen"));
}

RECT RectOf(const sample_skin::Rect& place) {
  return {place.x, place.y, place.right(), place.bottom()};
}

// A pixel that `shown` paints fully and `other` leaves clear: its colour on the screen tells
// which of the two pictures shows there.
POINT TellingPixel(const Picture& shown, const Picture& other) {
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      if (shown.at(x, y).alpha == 255 && other.at(x, y).alpha == 0) return {x, y};
    }
  }
  ADD_FAILURE() << "the two pictures look alike";
  return {0, 0};
}

// Stands in for the patch worker: tells what it was given and ends as the test says.
class ScriptedWorker {
 public:
  PatchWorker::Routine Routine() {
    return [this](PatchJob& job) {
      {
        std::lock_guard<std::mutex> hold(mutex_);
        zones_.push_back(job.zone);
      }
      changed_.notify_all();
      SetState(job, PatchState::Running);
      std::unique_lock<std::mutex> hold(mutex_);
      while (!end_ && CurrentState(job) != PatchState::Stop) {
        if (progress_) {
          progress_(job);
          progress_ = nullptr;
        }
        changed_.wait_for(hold, std::chrono::milliseconds(20));
      }
      sawStop_ = CurrentState(job) == PatchState::Stop;
      if (end_) SetState(job, *end_);
    };
  }
  void End(PatchState state) {
    std::lock_guard<std::mutex> hold(mutex_);
    end_ = state;
  }
  void Publish(std::function<void(PatchJob&)> progress) {
    std::lock_guard<std::mutex> hold(mutex_);
    progress_ = std::move(progress);
  }
  std::vector<std::string> Zones() {
    std::lock_guard<std::mutex> hold(mutex_);
    return zones_;
  }
  bool WaitForStart(int ms = 3000) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::milliseconds(ms), [&] { return !zones_.empty(); });
  }
  bool SawStop() {
    std::lock_guard<std::mutex> hold(mutex_);
    return sawStop_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> zones_;
  std::optional<PatchState> end_;
  std::function<void(PatchJob&)> progress_;
  bool sawStop_ = false;
};

// The window run modally on a thread of its own, as the launcher runs it.
class OpenWindow {
 public:
  OpenWindow(const ScratchFolder& folder, ScriptedWorker& worker, bool steam = false) {
    thread_ = std::thread([&, steam] {
      threadId_ = GetCurrentThreadId();
      CVeldrinDlg dialog;
      dialog.m_patchSysPath = folder.path() + "\\patch.sys";
      dialog.m_steam = steam;
      dialog.m_workerRoutine = worker.Routine();
      dialog_ = &dialog;
      result_ = dialog.DoModal();
      dialog_ = nullptr;
    });
    // The title is set early in the initialisation; the window shows once it is complete.
    // Other programs' windows of that title may be open: the one of this thread is it.
    for (int i = 0; i < 250 && !IsWindowVisible(window_); ++i) {
      Sleep(20);
      EnumThreadWindows(
          threadId_,
          [](HWND found, LPARAM result) {
            *reinterpret_cast<HWND*>(result) = found;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&window_));
    }
    EXPECT_NE(window_, nullptr);
  }
  ~OpenWindow() {
    if (IsWindow(window_)) Click(1003);
    if (thread_.joinable()) thread_.join();
  }
  HWND hwnd() const { return window_; }
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  CVeldrinDlg& dialog() const { return *dialog_; }
  void Click(int id) const {
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(id)));
  }
  // Start with a zone chosen, as a player does.
  void Start() const {
    SetWindowTextA(Item(1010), "Alpha");
    Click(1002);
  }
  // The modal result once the window has ended; -1 when it is still open after `ms`.
  INT_PTR WaitForEnd(int ms = 5000) {
    for (int waited = 0; IsWindow(window_) && waited < ms; waited += 20) Sleep(20);
    if (IsWindow(window_)) return -1;
    thread_.join();
    return result_;
  }
  // The place of a control in the dialog's client coordinates.
  RECT Place(int id) const {
    RECT rect{};
    GetWindowRect(Item(id), &rect);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

 private:
  std::atomic<DWORD> threadId_{0};
  std::thread thread_;
  HWND window_ = nullptr;
  CVeldrinDlg* dialog_ = nullptr;
  INT_PTR result_ = -1;
};

bool Visible(HWND window) { return (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0; }

std::vector<int> ChildrenTopToBottom(HWND window) {
  std::vector<int> ids;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    ids.push_back(GetDlgCtrlID(child));
  }
  return ids;
}

std::vector<int> Checked(const OpenWindow& window) {
  std::vector<int> lines;
  for (int line = 1; line <= 8; ++line) {
    if (SendMessageA(window.Item(kRadioIds[line - 1]), BM_GETCHECK, 0, 0) == BST_CHECKED) {
      lines.push_back(line);
    }
  }
  return lines;
}

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override { folder_.Write("common\\keep", ""); }
  ScratchFolder folder_;
  Skin skin_ = TestSkin();
  ScriptedWorker worker_;
};

TEST_F(MainWindowTest, TheSkinPlacesSizesStacksAndShapesTheWindow) {
  WriteSkin(skin_, folder_);
  OpenWindow window(folder_, worker_);
  RECT frame{};
  GetWindowRect(window.hwnd(), &frame);
  EXPECT_EQ(frame.right - frame.left, sample_skin::kWidth);
  EXPECT_EQ(frame.bottom - frame.top, sample_skin::kHeight);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoA(MonitorFromWindow(window.hwnd(), MONITOR_DEFAULTTONEAREST), &monitor);
  EXPECT_EQ(frame.left - monitor.rcWork.left, monitor.rcWork.right - frame.right);
  EXPECT_EQ(frame.top - monitor.rcWork.top, monitor.rcWork.bottom - frame.bottom);

  std::vector<RECT> shape = WindowShape(window.hwnd());
  using sample_skin::kTab;
  EXPECT_FALSE(ShapeContains(shape, 10, 10)) << "the key colour is outside";
  EXPECT_TRUE(ShapeContains(shape, kTab.x + kTab.width / 2, 10)) << "the title tab";
  EXPECT_TRUE(ShapeContains(shape, sample_skin::kWidth / 2, sample_skin::kHeight - 1));
  EXPECT_FALSE(ShapeContains(shape, sample_skin::kWidth - 1, sample_skin::kHeight - 1))
      << "a rounded corner";

  struct Expected {
    int id;
    RECT place;
    bool visible;
  };
  using sample_skin::kCommandButtons;
  using sample_skin::LabelPlace;
  using sample_skin::RadioPlace;
  const Expected expected[] = {
      {1000, RectOf(kCommandButtons[0].place), true},
      {1018, RectOf(kCommandButtons[9].place), true},
      {1022, RectOf(RadioPlace(1)), true},
      {1042, RectOf(RadioPlace(2)), true},
      {1043, RectOf(RadioPlace(3)), false},
      {1033, RectOf(LabelPlace(1)), true},
      {1034, RectOf(LabelPlace(2)), true},
      {1040, RectOf(LabelPlace(8)), false},
      {1008, RectOf(sample_skin::kProgress[0]), true},
      {1009, RectOf(sample_skin::kProgress[1]), true},
      {1010, RectOf(sample_skin::kCombo), true},
  };
  for (const Expected& e : expected) {
    RECT place = window.Place(e.id);
    EXPECT_EQ(place.left, e.place.left) << e.id;
    EXPECT_EQ(place.top, e.place.top) << e.id;
    if (e.id != 1010) {
      EXPECT_EQ(place.right, e.place.right) << e.id;
      EXPECT_EQ(place.bottom, e.place.bottom) << e.id;
    }
    EXPECT_EQ(Visible(window.Item(e.id)), e.visible) << e.id;
  }
  // static1 .. static4 place the texts 1004, 1006, 1005 and 1007, in that order.
  const int textIds[] = {1004, 1006, 1005, 1007};
  for (int text = 0; text < 4; ++text) {
    RECT place = window.Place(textIds[text]);
    EXPECT_EQ(place.left, sample_skin::kTextPlaces[text].x) << textIds[text];
    EXPECT_EQ(place.top, sample_skin::kTextPlaces[text].y) << textIds[text];
  }
  EXPECT_FALSE(Visible(GetDlgItem(window.hwnd(), -1))) << "the waiting text";

  // Each control placed rose to the top: the order of loading, read from the top.
  std::vector<int> order = ChildrenTopToBottom(window.hwnd());
  std::vector<int> loaded = {1010, 1007, 1005, 1006, 1004, 1009, 1008};
  for (int id : kCommandIds) loaded.push_back(id);
  for (int id = 1033; id <= 1040; ++id) loaded.push_back(id);
  for (int id : kRadioIds) loaded.push_back(id);
  order.resize(loaded.size());
  EXPECT_EQ(order, loaded);

  EXPECT_EQ(Checked(window), std::vector<int>{1});
  EXPECT_EQ(SendMessageA(window.Item(1010), CB_GETCOUNT, 0, 0), 2) << "Zone3 is empty";
  Sleep(1500);
  EXPECT_TRUE(worker_.Zones().empty()) << "a complete skin waits for the player";
  EXPECT_FALSE(window.dialog().m_webViewController) << "no browser component here";
}

TEST_F(MainWindowTest, WithoutTheWholeSkinThePlainWindowShowsAndStartsByItself) {
  struct Case {
    const char* name;
    std::function<void(Skin&)> spoil;
  };
  const Case cases[] = {
      {"no patch.sys", nullptr},
      {"an empty background name", [](Skin& s) { s.patchSys.Set("layout", "image", ""); }},
      {"a hidden line radio's picture missing",
       [](Skin& s) { s.patchSys.Set("Radio5", "imagen", "skin\\radio5.png"); }},
      {"a label's picture missing",
       [](Skin& s) { s.pictures.erase(PictureFile(s, "RadioDDX3", "imagen")); }},
      {"a command button's picture missing",
       [](Skin& s) { s.pictures.erase(PictureFile(s, "Button7", "imagex")); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    folder.Write("common\\keep", "");
    Skin skin = TestSkin();
    if (c.spoil) {
      c.spoil(skin);
      WriteSkin(skin, folder);
    }
    ScriptedWorker worker;
    OpenWindow window(folder, worker);
    RECT frame{};
    GetWindowRect(window.hwnd(), &frame);
    EXPECT_EQ(frame.right - frame.left, 600);
    EXPECT_EQ(frame.bottom - frame.top, 150);
    std::vector<RECT> shape = WindowShape(window.hwnd());
    EXPECT_TRUE(shape.empty() || ShapeContains(shape, 599, 149)) << "the whole window shows";
    for (int id : kCommandIds) EXPECT_FALSE(Visible(window.Item(id))) << id;
    EXPECT_FALSE(Visible(window.Item(1010)));
    EXPECT_TRUE(Visible(GetDlgItem(window.hwnd(), -1)));
    EXPECT_TRUE(Checked(window).empty());
    ASSERT_TRUE(worker.WaitForStart(2500)) << "started by itself after a second";
    EXPECT_EQ(worker.Zones(), std::vector<std::string>{c.spoil ? "Home" : ""});
    EXPECT_EQ(folder.Read("common\\network.log"), "0");
  }
}

TEST_F(MainWindowTest, TheOperatorSwitchReloadsTheLabelsAndChoosesLineOne) {
  WriteSkin(skin_, folder_);
  OpenWindow window(folder_, worker_);
  // Line 1's label shows the picture of the network whose own pixel it shows.
  const Picture& dx = PictureOf(skin_, "RadioDDX1").full;
  const Picture& wt = PictureOf(skin_, "RadioDWT1").full;
  const POINT dxPixel = TellingPixel(dx, wt), wtPixel = TellingPixel(wt, dx);
  auto seen = [&](POINT at) {
    PaintNow(window.hwnd());
    RECT place{};
    GetWindowRect(window.Item(1033), &place);
    int x = place.left + at.x, y = place.top + at.y;
    return CaptureScreen({x, y, x + 1, y + 1}).at(0, 0);
  };
  EXPECT_EQ(seen(dxPixel), dx.at(dxPixel.x, dxPixel.y));
  window.Click(1042);
  EXPECT_EQ(Checked(window), std::vector<int>{2});
  window.Click(1015);  // DX again: nothing changes, not even the line
  EXPECT_EQ(Checked(window), std::vector<int>{2});

  window.Click(1016);
  EXPECT_EQ(seen(wtPixel), wt.at(wtPixel.x, wtPixel.y));
  EXPECT_FALSE(Visible(window.Item(1034)));
  EXPECT_FALSE(Visible(window.Item(1042)));
  EXPECT_EQ(Checked(window), std::vector<int>{1});
  std::vector<int> order = ChildrenTopToBottom(window.hwnd());
  order.resize(8);
  EXPECT_EQ(order, (std::vector<int>{1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040}))
      << "reloaded from line 8 to line 1";

  window.Click(1015);
  EXPECT_TRUE(Visible(window.Item(1034)));
  EXPECT_TRUE(Visible(window.Item(1042)));
  window.Click(1042);
  window.Start();
  ASSERT_TRUE(worker_.WaitForStart());
  window.Click(1016);  // after the start the operator stays
  EXPECT_EQ(seen(dxPixel), dx.at(dxPixel.x, dxPixel.y));
  EXPECT_FALSE(IsWindowEnabled(window.Item(1042)));
  EXPECT_EQ(folder_.Read("common\\isp.log"), "0");
  EXPECT_EQ(folder_.Read("common\\network.log"), "2");
}

TEST_F(MainWindowTest, TheStartCommandSettlesTheZone) {
  struct Case {
    const char* name;
    std::function<void(Skin&, const ScratchFolder&)> prepare;
    std::function<void(const OpenWindow&)> act;
    std::string zone;
  };
  const std::string longWord(200, 'z');
  const Case cases[] = {
      {"typed, not in the list", nullptr,
       [](const OpenWindow& w) { SetWindowTextA(w.Item(1010), "Typed Zone"); }, "Typed Zone"},
      {"picked from the list", nullptr,
       [](const OpenWindow& w) { SendMessageA(w.Item(1010), CB_SETCURSEL, 1, 0); }, "Beta"},
      {"zone.log's first word",
       [](Skin&, const ScratchFolder& f) { f.Write("zone.log", " \t first second\r\nthird"); },
       nullptr, "first"},
      {"a long zone.log word is cut",
       [&](Skin&, const ScratchFolder& f) { f.Write("zone.log", longWord); }, nullptr,
       std::string(127, 'z')},
      {"a blank zone.log gives the operator's zone",
       [](Skin&, const ScratchFolder& f) { f.Write("zone.log", "  \r\n "); }, nullptr, "Home"},
      {"no combo box and operator WT",
       [](Skin& s, const ScratchFolder&) { s.patchSys.Erase("Combo", "x"); },
       [](const OpenWindow& w) { w.Click(1016); }, "Alpha"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    folder.Write("common\\keep", "");
    Skin skin = TestSkin();
    if (c.prepare) c.prepare(skin, folder);
    WriteSkin(skin, folder);
    ScriptedWorker worker;
    OpenWindow window(folder, worker);
    if (c.act) c.act(window);
    window.Click(1013);
    ASSERT_TRUE(worker.WaitForStart());
    EXPECT_EQ(worker.Zones(), std::vector<std::string>{c.zone});
    EXPECT_FALSE(IsWindowEnabled(window.Item(1013)));
  }
}

TEST_F(MainWindowTest, NoZoneWithTheListShownAsksForOneAndStartsNothing) {
  WriteSkin(skin_, folder_);
  OpenWindow window(folder_, worker_);
  ScriptedPrompt prompt;
  prompt.Then(IDOK);
  window.Click(1013);
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].text, "Error please select patch zone");
  EXPECT_FALSE(IsWindowEnabled(window.Item(1013)));
  EXPECT_FALSE(folder_.Read("common\\isp.log").size());
  Sleep(700);
  EXPECT_TRUE(worker_.Zones().empty());

  SetWindowTextA(window.Item(1010), "Alpha");
  window.Click(1002);
  window.Click(1002);  // a second start makes no second worker
  ASSERT_TRUE(worker_.WaitForStart());
  Sleep(300);
  EXPECT_EQ(worker_.Zones(), std::vector<std::string>{"Alpha"});
}

TEST_F(MainWindowTest, TheStatusTextsFollowTheWorkerAndLeaveNoTraceWhenTheyChange) {
  skin_.patchSys.Erase("Progress2", "FR");
  skin_.patchSys.Erase("Progress2", "FB");
  WriteSkin(skin_, folder_);
  OpenWindow window(folder_, worker_);
  window.Start();
  ASSERT_TRUE(worker_.WaitForStart());
  auto publish = [&](const std::string& item, std::int32_t pos) {
    worker_.Publish([=](PatchJob& job) {
      std::lock_guard<std::mutex> hold(job.lock);
      job.stageText = "Downloading";
      job.itemText = item;
      job.bytesTotal = 1000;
      job.bytesDone = pos;
      job.stageRange = 4;
      job.stagePos = 1;
    });
    Sleep(1200);
    PaintNow(window.hwnd());
  };
  auto text = [&](int id) {
    char buffer[256] = {};
    GetWindowTextA(window.Item(id), buffer, sizeof buffer);
    return std::string(buffer);
  };
  RECT place{};
  GetWindowRect(window.Item(1004), &place);
  publish("i", 10);
  Picture shortText = CaptureScreen(place);
  EXPECT_EQ(text(1004), "i");
  EXPECT_EQ(text(1005), "Downloading");
  EXPECT_EQ(text(1007).substr(0, 12), "1 of 4 files");
  EXPECT_EQ(text(1006).substr(0, 9), "10/1000 B");
  EXPECT_EQ(SendMessageA(window.Item(1008), PBM_GETRANGE, FALSE, 0), 1000) << "per mille";
  EXPECT_EQ(SendMessageA(window.Item(1008), PBM_GETPOS, 0, 0), 10);
  EXPECT_EQ(SendMessageA(window.Item(1009), PBM_GETPOS, 0, 0), 1);
  RECT bar{};
  GetWindowRect(window.Item(1009), &bar);
  EXPECT_EQ(CaptureScreen({bar.left + 9, bar.top + 5, bar.left + 10, bar.top + 6}).at(0, 0),
            (Rgba{0, sample_skin::kProgressColours[1].bar.green, 0, 255}))
      << "the skin's bar colour, a part left out being 0";

  publish("WWWWWWWWWWWWWWWWWWWWWWWWWW", 20);
  publish("i", 500);
  publish("i", 990);
  Picture again = CaptureScreen(place);
  SaveScreenshot("main-window-status", CaptureScreen([&] {
                   RECT r{};
                   GetWindowRect(window.hwnd(), &r);
                   return r;
                 }()));
  int differing = 0;
  for (int y = 0; y < again.height(); ++y) {
    for (int x = 0; x < again.width(); ++x) differing += !(again.at(x, y) == shortText.at(x, y));
  }
  EXPECT_EQ(differing, 0) << "pixels of the long text stayed";
  EXPECT_NE(text(1006).find("/s"), std::string::npos) << "a download shows its speed";

  // A failed download: its box keeps its text, and the reason shows here beside it.
  const std::string reason = "_data_a_dat.ppk: HTTP 404";
  worker_.Publish([&](PatchJob& job) { SetFailureReason(job, reason); });
  Sleep(1200);
  PaintNow(window.hwnd());
  EXPECT_EQ(text(1004), reason);
  EXPECT_EQ(text(1006), "");
  SaveScreenshot("main-window-reason", CaptureScreen([&] {
                   RECT r{};
                   GetWindowRect(window.hwnd(), &r);
                   return r;
                 }()));
}

TEST_F(MainWindowTest, TheEndStatesStartTheGameRelaunchOrClose) {
  struct Case {
    const char* name;
    PatchState end;
    std::string exe;
    INT_PTR result;
    std::string recorded;  // what was started, "" for nothing
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"done starts the game without arguments",
       PatchState::Done,
       "game.exe",
       1,
       "\"game.exe\"",
       {}},
      {"done without a game", PatchState::Done, "", 1, "", {"Error Execute file not found!"}},
      {"a game value with arguments is told",
       PatchState::Done,
       "game.exe -windowed",
       1,
       "",
       {"Error Execute file not found!"}},
      // The system finds "veldra.exe" beside this test first, as it finds the player's beside
      // the running copy: that launcher copies the folder's one and starts the copy.
      {"a relaunch starts the patcher",
       PatchState::Relaunch,
       "game.exe",
       1,
       "_veldra.exe runningcopyauto",
       {}},
      {"a failure closes", PatchState::Failed, "game.exe", 2, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    folder.Write("common\\keep", "");
    WriteRecorderProgram(folder, "game.exe");
    WriteRecorderProgram(folder, "veldra.exe");
    Skin skin = TestSkin();
    skin.patchSys.Set("Button3", "Exe", c.exe);
    WriteSkin(skin, folder);
    ScriptedWorker worker;
    ScriptedPrompt prompt;
    for (std::size_t i = 0; i < c.boxes.size(); ++i) prompt.Then(IDOK);
    OpenWindow window(folder, worker);
    window.Start();
    ASSERT_TRUE(worker.WaitForStart());
    worker.End(c.end);
    EXPECT_EQ(window.WaitForEnd(), c.result);
    std::vector<std::string> shown;
    for (const auto& box : prompt.Shown()) shown.push_back(box.text);
    EXPECT_EQ(shown, c.boxes);
    for (int i = 0; i < 50 && !c.recorded.empty() && !platform::PathExists("recorded.txt"); ++i) {
      Sleep(100);
    }
    EXPECT_EQ(platform::PathExists("recorded.txt") ? folder.Read("recorded.txt") : "", c.recorded);
  }
}

TEST_F(MainWindowTest, LinksOpenTheirSectionsKeyThroughTheShell) {
  skin_.patchSys.Set("Button1", "lnk", "https://example.test/register");
  skin_.patchSys.Set("Button1", "lnk2", "https://example.test/store-register");
  skin_.patchSys.Set("Button2", "lnk", "https://example.test/recharge");
  skin_.patchSys.Set("Button6", "lnk", "https://example.test/second");
  skin_.patchSys.Set("Button6", "lnk2", "https://example.test/never");
  WriteSkin(skin_, folder_);
  for (bool steam : {false, true}) {
    std::vector<std::string> opened;
    platform::SetShellHook([&](const std::string& target) {
      opened.push_back(target);
      return true;
    });
    OpenWindow window(folder_, worker_, steam);
    for (int id : {1000, 1001, 1014}) window.Click(id);
    platform::SetShellHook(nullptr);
    if (steam) {
      EXPECT_EQ(opened, (std::vector<std::string>{"https://example.test/store-register",
                                                  "https://example.test/second"}));
    } else {
      EXPECT_EQ(opened, (std::vector<std::string>{"https://example.test/register",
                                                  "https://example.test/recharge",
                                                  "https://example.test/second"}));
    }
  }
}

TEST_F(MainWindowTest, OnlyQuitAndCloseEndTheWindowBeforeDuringAndAfterARun) {
  WriteSkin(skin_, folder_);
  {
    OpenWindow window(folder_, worker_);
    SendMessageA(window.hwnd(), WM_COMMAND, IDOK, 0);
    SendMessageA(window.hwnd(), WM_COMMAND, IDCANCEL, 0);
    SendMessageA(window.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageA(window.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(window.hwnd())) << "Enter, Escape and Alt+F4 do nothing";
    // Unmanaged windows under Wine do not stay minimised, so the posted command is what is
    // read back.
    static std::atomic<WPARAM> systemCommand{0};
    HHOOK hook = SetWindowsHookExA(
        WH_GETMESSAGE,
        [](int code, WPARAM wParam, LPARAM lParam) -> LRESULT {
          const MSG* message = reinterpret_cast<const MSG*>(lParam);
          if (code >= 0 && message->message == WM_SYSCOMMAND) systemCommand = message->wParam;
          return CallNextHookEx(nullptr, code, wParam, lParam);
        },
        nullptr, GetWindowThreadProcessId(window.hwnd(), nullptr));
    window.Click(1017);
    for (int i = 0; i < 100 && systemCommand == 0; ++i) Sleep(20);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(systemCommand, WPARAM{SC_MINIMIZE}) << "the minimise button";
    window.Click(1003);
    EXPECT_EQ(window.WaitForEnd(1000), 2) << "before a run, at once";
  }
  {
    ScriptedWorker worker;
    OpenWindow window(folder_, worker);
    window.Start();
    ASSERT_TRUE(worker.WaitForStart());
    window.Click(1018);
    EXPECT_EQ(window.WaitForEnd(2000), 2);
    EXPECT_TRUE(worker.SawStop());
  }
  {
    ScriptedWorker worker;
    OpenWindow window(folder_, worker);
    window.Start();
    ASSERT_TRUE(worker.WaitForStart());
    worker.End(PatchState::Idle);  // the worker has ended, the window still shows
    Sleep(300);
    window.Click(1003);
    EXPECT_EQ(window.WaitForEnd(2000), 2);
  }
}

// Runs as a test of its own on a screen of 1600 x 1200, which takes the half-size skin.
TEST_F(MainWindowTest, SmallScreenHalvesEveryPlaceAndTakesTheSmallPictures) {
  if (GetSystemMetrics(SM_CXSCREEN) >= 1920) GTEST_SKIP() << "needs a small screen";
  skin_.patchSys.Set("Button1", "X", "101");
  skin_.patchSys.Set("Button1", "Y", "-3");
  WriteSkin(skin_, folder_);
  OpenWindow window(folder_, worker_);
  RECT frame{};
  GetWindowRect(window.hwnd(), &frame);
  const Picture& background = skin_.pictures.at(PictureFile(skin_, "layout", "image")).half;
  EXPECT_EQ(frame.right - frame.left, background.width());
  EXPECT_EQ(frame.bottom - frame.top, background.height());
  struct Expected {
    int id;
    RECT place;
  };
  // The layout's figures are even: halved, they are exact.
  const Picture& button = PictureOf(skin_, "Button1").half;
  const Picture& label = PictureOf(skin_, "RadioDDX1").half;
  const sample_skin::Rect bar = sample_skin::kProgress[0], line = sample_skin::LabelPlace(1);
  const Expected expected[] = {
      // 101 and -3 halved; the picture's small variant
      {1000, {50, -2, 50 + button.width(), -2 + button.height()}},
      {1008, {bar.x / 2, bar.y / 2, bar.right() / 2, bar.bottom() / 2}},
      {1033, {line.x / 2, line.y / 2, line.x / 2 + label.width(), line.y / 2 + label.height()}},
  };
  for (const Expected& e : expected) {
    RECT place = window.Place(e.id);
    EXPECT_EQ(place.left, e.place.left) << e.id;
    EXPECT_EQ(place.top, e.place.top) << e.id;
    EXPECT_EQ(place.right, e.place.right) << e.id;
    EXPECT_EQ(place.bottom, e.place.bottom) << e.id;
  }
  window.Click(1016);
  RECT shown = window.Place(1033);
  EXPECT_EQ(shown.left, line.x / 2) << "the operator's labels stay at half size";
  EXPECT_EQ(shown.right - shown.left, PictureOf(skin_, "RadioDWT1").half.width());
}

}  // namespace
