// The loader library's stand-in: see webview2_loader_double.h.
#include "tests/win32/webview2_loader_double.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "window/webview2.h"

namespace {

LoaderDoubleScript script;
std::vector<std::string> journal;

void Note(const std::string& line) { journal.push_back(line); }

std::string Hex(HRESULT code) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(code));
  return text;
}

std::string Utf8(PCWSTR text) {
  if (text == nullptr) return "null";
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
  bytes.resize(bytes.size() - 1);
  return "\"" + bytes + "\"";
}

// Steps wait here for their message on the thread that asked for them, as the component's
// callbacks come through that thread's message loop.
constexpr UINT kRunStep = WM_APP + 1;
std::map<WPARAM, std::function<void()>> pending;
WPARAM lastStep = 0;

LRESULT CALLBACK StepWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRunStep) return DefWindowProcW(window, message, wParam, lParam);
  auto found = pending.find(wParam);
  if (found != pending.end()) {
    std::function<void()> step = std::move(found->second);
    pending.erase(found);
    step();
  }
  return 0;
}

HWND StepWindowOfThisThread() {
  thread_local HWND window = nullptr;
  if (window != nullptr) return window;
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = StepWindowProcedure;
  windowClass.hInstance = GetModuleHandleW(L"WebView2Loader.dll");
  windowClass.lpszClassName = L"veldra.LoaderDoubleSteps";
  RegisterClassW(&windowClass);  // fails harmlessly when another thread registered it
  window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
  return window;
}

void Later(std::function<void()> step) {
  pending[++lastStep] = std::move(step);
  PostMessageW(StepWindowOfThisThread(), kRunStep, lastStep, 0);
}

// A handler the double holds from the call that hands it over until it is done with it; then
// it notes how many references the program still holds.
template <class Handler>
void LetGo(Handler* handler, const char* name) {
  Note(std::string(name) + " released, " + std::to_string(handler->Release()) + " left");
}

// A fake object counted as COM counts; a call after its last release is noted as such.
template <class Interface>
class Fake : public Interface {
 public:
  explicit Fake(const char* name) : name_(name) {}
  virtual ~Fake() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    Called("QueryInterface");
    if (iid != __uuidof(IUnknown)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<IUnknown*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    if (count_ <= 0) Note(name_ + " AddRef after the last release");
    return static_cast<ULONG>(++count_);
  }
  ULONG STDMETHODCALLTYPE Release() override {
    if (count_ <= 0) {
      Note(name_ + " released once too often");
      return 0;
    }
    if (--count_ == 0) OnLastRelease();
    return static_cast<ULONG>(count_);
  }

  void Make() { count_ = 1; }
  void Forget() { count_ = -1; }
  long count() const { return count_; }

 protected:
  void Called(const std::string& call) {
    Note(count_ > 0 ? call : name_ + " " + call + " after the last release");
  }
  HRESULT Unexpected(const char* method) {
    Called(method);
    return E_NOTIMPL;
  }
  virtual void OnLastRelease() {}

 private:
  std::string name_;
  long count_ = -1;
};

// A creation the component completes later through `handler`: with the result and the object
// the script asks for, or, when it fails at once, only by letting the handler go. The script
// is read when the step runs.
template <class Handler, class Interface>
HRESULT CreateLater(Handler* handler, const std::string& what, HRESULT failure,
                    Fake<Interface>& object, const bool& giveNull, const HRESULT& result) {
  if (handler == nullptr) return E_POINTER;
  handler->AddRef();
  const std::string handlerName = what + " handler";
  if (FAILED(failure)) {
    Later([handler, handlerName] { LetGo(handler, handlerName.c_str()); });
    return failure;
  }
  Later([handler, handlerName, what, &object, &giveNull, &result] {
    Interface* made = nullptr;
    if (!giveNull) {
      object.Make();
      made = &object;
    }
    Note(handlerName + " Invoke(" + Hex(result) + ", " + (made != nullptr ? what : "null") + ")");
    Note(handlerName + " returned " + Hex(handler->Invoke(result, made)));
    if (made != nullptr) made->Release();
    LetGo(handler, handlerName.c_str());
  });
  return S_OK;
}

class FakeView final : public Fake<ICoreWebView2> {
 public:
  FakeView() : Fake("view") {}

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings**) override {
    return Unexpected("get_Settings");
  }
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR*) override { return Unexpected("get_Source"); }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    Called("Navigate(" + Utf8(uri) + ")");
    return S_OK;
  }
} view;

// Holds its view as the component's controller does, from the first get_CoreWebView2 until
// its own last release.
class FakeController final : public Fake<ICoreWebView2Controller> {
 public:
  FakeController() : Fake("controller") {}

  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL*) override { return Unexpected("get_IsVisible"); }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL) override { return Unexpected("put_IsVisible"); }
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT*) override { return Unexpected("get_Bounds"); }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
    Called("put_Bounds(" + std::to_string(bounds.left) + ", " + std::to_string(bounds.top) + ", " +
           std::to_string(bounds.right) + ", " + std::to_string(bounds.bottom) + ")");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ZoomFactor(double*) override {
    return Unexpected("get_ZoomFactor");
  }
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double) override { return Unexpected("put_ZoomFactor"); }
  HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(ICoreWebView2ZoomFactorChangedEventHandler*,
                                                  EventRegistrationToken*) override {
    return Unexpected("add_ZoomFactorChanged");
  }
  HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken) override {
    return Unexpected("remove_ZoomFactorChanged");
  }
  HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT, double) override {
    return Unexpected("SetBoundsAndZoomFactor");
  }
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON) override {
    return Unexpected("MoveFocus");
  }
  HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(ICoreWebView2MoveFocusRequestedEventHandler*,
                                                   EventRegistrationToken*) override {
    return Unexpected("add_MoveFocusRequested");
  }
  HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken) override {
    return Unexpected("remove_MoveFocusRequested");
  }
  HRESULT STDMETHODCALLTYPE add_GotFocus(ICoreWebView2FocusChangedEventHandler*,
                                         EventRegistrationToken*) override {
    return Unexpected("add_GotFocus");
  }
  HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken) override {
    return Unexpected("remove_GotFocus");
  }
  HRESULT STDMETHODCALLTYPE add_LostFocus(ICoreWebView2FocusChangedEventHandler*,
                                          EventRegistrationToken*) override {
    return Unexpected("add_LostFocus");
  }
  HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken) override {
    return Unexpected("remove_LostFocus");
  }
  HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(
      ICoreWebView2AcceleratorKeyPressedEventHandler*, EventRegistrationToken*) override {
    return Unexpected("add_AcceleratorKeyPressed");
  }
  HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken) override {
    return Unexpected("remove_AcceleratorKeyPressed");
  }
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND*) override {
    return Unexpected("get_ParentWindow");
  }
  HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND) override {
    return Unexpected("put_ParentWindow");
  }
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override {
    return Unexpected("NotifyParentWindowPositionChanged");
  }
  HRESULT STDMETHODCALLTYPE Close() override { return Unexpected("Close"); }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** result) override {
    Called("get_CoreWebView2");
    *result = nullptr;
    if (FAILED(script.getCoreWebView2)) return script.getCoreWebView2;
    if (!holdsView_) {
      view.Make();
      holdsView_ = true;
    }
    view.AddRef();
    *result = &view;
    return S_OK;
  }

  void Forget() {
    Fake::Forget();
    holdsView_ = false;
  }

 private:
  void OnLastRelease() override {
    if (holdsView_) view.Release();
    holdsView_ = false;
  }

  bool holdsView_ = false;
} controller;

class FakeEnvironment final : public Fake<ICoreWebView2Environment> {
 public:
  FakeEnvironment() : Fake("environment") {}

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    Called(IsWindow(parent) ? "CreateCoreWebView2Controller(control " +
                                  std::to_string(GetDlgCtrlID(parent)) + ")"
                            : std::string("CreateCoreWebView2Controller(no window)"));
    return CreateLater(handler, "controller", script.createController, controller,
                       script.nullController, script.controllerResult);
  }
} environment;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  Note("CreateCoreWebView2EnvironmentWithOptions(" + Utf8(browserFolder) + ", " +
       Utf8(userDataFolder) + ", " + (options != nullptr ? "options" : "null") + ")");
  return CreateLater(handler, "environment", script.createEnvironment, environment,
                     script.nullEnvironment, script.environmentResult);
}

extern "C" __declspec(dllexport) void WINAPI LoaderDoubleReset(const LoaderDoubleScript* next) {
  script = *next;
  journal.clear();
  pending.clear();
  environment.Forget();
  controller.Forget();
  view.Forget();
}

extern "C" __declspec(dllexport) int WINAPI LoaderDoubleJournal(char* buffer, int size) {
  std::string text;
  for (const std::string& line : journal) text += line + "\n";
  if (size > 0) {
    std::size_t copied = std::min(text.size(), static_cast<std::size_t>(size - 1));
    text.copy(buffer, copied);
    buffer[copied] = '\0';
  }
  return static_cast<int>(text.size());
}

extern "C" __declspec(dllexport) void WINAPI LoaderDoubleReferences(LoaderDoubleCounts* counts) {
  *counts = {environment.count(), controller.count(), view.count()};
}
