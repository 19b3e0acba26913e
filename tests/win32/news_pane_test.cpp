// The news pane of the real main window, against the loader library's stand-in, which sits
// beside this program as the real one sits beside the patcher.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "testbed/windows/window_checks.h"
#include "tests/support/scratch_folder.h"
#include "tests/win32/webview2_loader_double.h"
#include "window/main_dialog.h"

namespace {

using Journal = std::vector<std::string>;

class LoaderDouble {
 public:
  // Loaded as the patcher loads it, so both reach the same module; it stays for the process.
  LoaderDouble()
      : module_(LoadLibraryExA("WebView2Loader.dll", nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR)),
        reset_(Find<LoaderDoubleResetFunction>("LoaderDoubleReset")),
        journal_(Find<LoaderDoubleJournalFunction>("LoaderDoubleJournal")),
        references_(Find<LoaderDoubleReferencesFunction>("LoaderDoubleReferences")) {}

  bool loaded() const { return reset_ != nullptr && journal_ != nullptr && references_ != nullptr; }
  void Reset(const LoaderDoubleScript& script) const { reset_(&script); }
  Journal Calls() const {
    std::string text(static_cast<std::size_t>(journal_(nullptr, 0)) + 1, '\0');
    text.resize(static_cast<std::size_t>(journal_(text.data(), static_cast<int>(text.size()))));
    Journal lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  LoaderDoubleCounts References() const {
    LoaderDoubleCounts counts{};
    references_(&counts);
    return counts;
  }

 private:
  template <class Function>
  Function Find(const char* name) const {
    return module_ == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  HMODULE module_;
  LoaderDoubleResetFunction reset_;
  LoaderDoubleJournalFunction journal_;
  LoaderDoubleReferencesFunction references_;
};

const LoaderDouble& Double() {
  static const LoaderDouble loader;
  return loader;
}

std::string ToUtf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  bytes.resize(bytes.size() - 1);
  return bytes;
}

// For the length of a test, this process's view of the user's registry names a local
// application-data folder that does not exist, so the system's known-folder lookup fails.
class LocalAppDataMissing {
 public:
  LocalAppDataMissing() : name_("Software\\veldra-test-" + std::to_string(GetCurrentProcessId())) {
    HKEY root = Volatile(HKEY_CURRENT_USER, name_);
    constexpr char kMissing[] = "C:\\veldra-test-nowhere\\Local";
    for (const char* folders : {"User Shell Folders", "Shell Folders"}) {
      HKEY key = Volatile(root, std::string(kExplorer) + folders);
      RegSetValueExA(key, "Local AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(kMissing),
                     sizeof(kMissing));
      RegCloseKey(key);
    }
    RegOverridePredefKey(HKEY_CURRENT_USER, root);
    RegCloseKey(root);
  }
  ~LocalAppDataMissing() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, name_.c_str());
  }

 private:
  static constexpr char kExplorer[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

  // Below a key that is not saved, every key must be one too.
  static HKEY Volatile(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    RegCreateKeyExA(parent, name.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    return key;
  }

  std::string name_;
};

RECT PlaceInParent(HWND control) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

std::string Bounds(int width, int height) {
  return "put_Bounds(0, 0, " + std::to_string(width) + ", " + std::to_string(height) + ")";
}

// The ANSI code page of the test prefix is 1252, where byte 0x80 is the euro sign.
constexpr char kAnsiUrl[] = "http://127.0.0.1/news/\x80.html";
constexpr char kUtf8Url[] = "http://127.0.0.1/news/\xe2\x82\xac.html";
const std::string kNavigate = std::string("Navigate(\"") + kUtf8Url + "\")";

// Each test opens the patcher's window over a scratch game folder, its patch.sys holding the
// news pane's section.
class NewsPaneTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Double().loaded()); }

  std::unique_ptr<CVeldrinDlg> Open(const std::string& browserSection,
                                    const LoaderDoubleScript& script = {}) {
    Double().Reset(script);
    folder_.Write("patch.sys", "[Browser]\r\n" + browserSection);
    auto dialog = std::make_unique<CVeldrinDlg>();
    dialog->m_patchSysPath = folder_.path() + "\\patch.sys";
    // Without a skin the window starts the patch run by itself after a second.
    dialog->m_workerRoutine = [](PatchJob&) {};
    EXPECT_TRUE(dialog->Create());
    return dialog;
  }

  // The calls after the environment was asked for.
  static Journal CallsAfterCreation() {
    Journal calls = Double().Calls();
    return calls.empty() ? calls : Journal(calls.begin() + 1, calls.end());
  }

  static void ExpectAllReleased() {
    LoaderDoubleCounts left = Double().References();
    EXPECT_LE(left.environment, 0);
    EXPECT_LE(left.controller, 0);
    EXPECT_LE(left.view, 0);
  }

  ScratchFolder folder_;
};

const Journal kEnvironmentGiven = {"environment handler Invoke(0x00000000, environment)",
                                   "CreateCoreWebView2Controller(control 1011)",
                                   "environment handler returned 0x00000000",
                                   "environment handler released, 0 left"};

Journal Then(Journal first, const Journal& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TEST_F(NewsPaneTest, PlacesTheViewOverThePlaceholderAndOpensTheAddress) {
  struct Case {
    const char* name;
    std::string section;
    bool smallScreen;
    RECT place;
  };
  const Case cases[] = {
      {"full-size screen", "X=20\r\nY=30\r\ncX=300\r\ncY=200\r\n", false, {20, 30, 320, 230}},
      {"small screen halves", "X=200\r\nY=101\r\ncX=400\r\ncY=301\r\n", true, {100, 50, 300, 200}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<CVeldrinDlg> dialog = Open(c.section + "URL=" + kAnsiUrl + "\r\n");
    // The screen is full-size here; the pane reads the flag when the view arrives.
    dialog->m_smallScreen = c.smallScreen;
    PumpMessages();

    PWSTR localAppData = nullptr;
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &localAppData), S_OK);
    std::string dataFolder = ToUtf8(localAppData) + "\\zel\\WebView2Data";
    CoTaskMemFree(localAppData);
    int width = c.place.right - c.place.left;
    int height = c.place.bottom - c.place.top;
    const Journal expected =
        Then({"CreateCoreWebView2EnvironmentWithOptions(null, \"" + dataFolder + "\", null)"},
             Then(kEnvironmentGiven,
                  {"controller handler Invoke(0x00000000, controller)", "get_CoreWebView2",
                   Bounds(width, height), kNavigate, "controller handler returned 0x00000000",
                   "controller handler released, 0 left"}));
    EXPECT_EQ(Double().Calls(), expected);
    RECT place = PlaceInParent(GetDlgItem(dialog->m_hWnd, IDC_BROWSER));
    EXPECT_EQ(place.left, c.place.left);
    EXPECT_EQ(place.top, c.place.top);
    EXPECT_EQ(place.right, c.place.right);
    EXPECT_EQ(place.bottom, c.place.bottom);

    dialog.reset();
    LoaderDoubleCounts left = Double().References();
    EXPECT_EQ(left.environment, 0);
    EXPECT_EQ(left.controller, 0);
    EXPECT_EQ(left.view, 0);
    EXPECT_EQ(Double().Calls(), expected) << "calls after the window closed";
  }
}

TEST_F(NewsPaneTest, WithoutTheUsersLocalFolderTheDataGoesToTheFixedFolder) {
  LocalAppDataMissing missing;
  std::unique_ptr<CVeldrinDlg> dialog = Open("");
  ASSERT_FALSE(Double().Calls().empty());
  EXPECT_EQ(Double().Calls()[0],
            "CreateCoreWebView2EnvironmentWithOptions(null, \"C:\\Temp\\WebView2Data\", null)");
  PumpMessages();
}

TEST_F(NewsPaneTest, RestoringTheWindowRefitsTheViewToThePlaceholder) {
  std::unique_ptr<CVeldrinDlg> dialog = Open("X=10\r\nY=10\r\ncX=200\r\ncY=120\r\n");
  PumpMessages();
  HWND window = dialog->m_hWnd;
  std::size_t seen = Double().Calls().size();
  // The view follows the placeholder as it is now, not as it was when the view came.
  SetWindowPos(GetDlgItem(window, IDC_BROWSER), nullptr, 0, 0, 150, 90, SWP_NOMOVE | SWP_NOZORDER);

  HWND minimize = GetDlgItem(window, IDC_BUTTON_MIN);
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_BUTTON_MIN, BN_CLICKED),
               reinterpret_cast<LPARAM>(minimize));
  PumpMessages();
  ASSERT_TRUE(IsIconic(window));
  SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  PumpMessages();

  EXPECT_FALSE(IsIconic(window));
  Journal calls = Double().Calls();
  ASSERT_GT(calls.size(), seen);
  for (std::size_t i = seen; i < calls.size(); ++i) EXPECT_EQ(calls[i], Bounds(150, 90));
}

TEST_F(NewsPaneTest, AFailingOrEmptyStepEndsTheChainAndEveryoneIsReleased) {
  const std::string place = "X=0\r\nY=0\r\ncX=64\r\ncY=48\r\n";
  const std::string withUrl = place + "URL=" + kAnsiUrl + "\r\n";
  const Journal controllerGiven = {"controller handler Invoke(0x00000000, controller)",
                                   "get_CoreWebView2", Bounds(64, 48)};
  const Journal controllerDone = {"controller handler returned 0x00000000",
                                  "controller handler released, 0 left"};
  struct Case {
    const char* name;
    LoaderDoubleScript script;
    std::string section;
    Journal calls;
  };
  const Case cases[] = {
      {"loader refuses",
       {.createEnvironment = E_FAIL},
       withUrl,
       {"environment handler released, 0 left"}},
      {"environment fails",
       {.environmentResult = E_ACCESSDENIED},
       withUrl,
       {"environment handler Invoke(0x80070005, environment)",
        "environment handler returned 0x80070005", "environment handler released, 0 left"}},
      {"no environment",
       {.nullEnvironment = true},
       withUrl,
       {"environment handler Invoke(0x00000000, null)", "environment handler returned 0x00000000",
        "environment handler released, 0 left"}},
      {"controller refused",
       {.createController = E_OUTOFMEMORY},
       withUrl,
       Then(kEnvironmentGiven, {"controller handler released, 0 left"})},
      {"controller fails",
       {.controllerResult = E_FAIL},
       withUrl,
       Then(kEnvironmentGiven,
            {"controller handler Invoke(0x80004005, controller)",
             "controller handler returned 0x80004005", "controller handler released, 0 left"})},
      {"no controller",
       {.nullController = true},
       withUrl,
       Then(kEnvironmentGiven,
            {"controller handler Invoke(0x00000000, null)",
             "controller handler returned 0x00000000", "controller handler released, 0 left"})},
      {"no view",
       {.getCoreWebView2 = E_NOINTERFACE},
       withUrl,
       Then(Then(kEnvironmentGiven, controllerGiven), controllerDone)},
      {"empty address",
       {},
       place + "URL=\r\n",
       Then(Then(kEnvironmentGiven, controllerGiven), controllerDone)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<CVeldrinDlg> dialog = Open(c.section, c.script);
    PumpMessages();
    dialog.reset();
    PumpMessages();
    EXPECT_EQ(CallsAfterCreation(), c.calls);
    ExpectAllReleased();
  }
}

TEST_F(NewsPaneTest, ACallbackAfterTheWindowHasClosedTouchesNothing) {
  struct Case {
    const char* name;
    // Handles the window's messages until the chain has come this far.
    std::function<bool(const Journal&)> reached;
    Journal calls;
  };
  auto has = [](const std::string& line) {
    return [line](const Journal& calls) {
      return std::find(calls.begin(), calls.end(), line) != calls.end();
    };
  };
  const Case cases[] = {
      {"before the environment",
       [](const Journal&) { return true; },
       {"environment handler Invoke(0x00000000, environment)",
        "environment handler returned 0x80070578", "environment handler released, 0 left"}},
      {"before the controller", has("environment handler released, 0 left"),
       Then(kEnvironmentGiven,
            {"controller handler Invoke(0x00000000, controller)",
             "controller handler returned 0x80070578", "controller handler released, 0 left"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<CVeldrinDlg> dialog = Open("cX=64\r\ncY=48\r\nURL=http://127.0.0.1/\r\n");
    MSG message;
    while (!c.reached(Double().Calls()) && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&message);
    }
    dialog.reset();
    PumpMessages();
    EXPECT_EQ(CallsAfterCreation(), c.calls);
    ExpectAllReleased();
  }
}

}  // namespace
