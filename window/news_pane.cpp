// The news pane: a web page from the browser component, made in steps that the component
// finishes later on this thread, each of which may end it silently.
#include <shlobj.h>

#include <memory>
#include <new>
#include <string>

#include "platform/profile.h"
#include "resources/resource.h"
#include "window/main_dialog.h"
#include "window/news_pane_handlers.h"

namespace {

constexpr std::size_t kUrlSize = 1024;

struct TaskMemoryFree {
  void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};

std::wstring NewsDataFolder() {
  PWSTR known = nullptr;
  HRESULT found = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known);
  // The text is ours to free whether the lookup worked or not.
  std::unique_ptr<wchar_t, TaskMemoryFree> owned(known);
  if (FAILED(found) || known == nullptr) return L"C:\\Temp\\WebView2Data";
  return std::wstring(known) + L"\\zel\\WebView2Data";
}

// The loader is looked for beside the program and among the system's libraries only, never
// in the current directory or along PATH, where anyone could leave a library of that name.
// It stays loaded for the life of the process: the component's objects run its code.
CreateCoreWebView2EnvironmentWithOptionsFunction EnvironmentFactory() {
  static const auto factory = [] {
    HMODULE loader =
        LoadLibraryExA("WebView2Loader.dll", nullptr,
                       LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (loader == nullptr) return CreateCoreWebView2EnvironmentWithOptionsFunction{};
    return reinterpret_cast<CreateCoreWebView2EnvironmentWithOptionsFunction>(
        reinterpret_cast<void*>(
            GetProcAddress(loader, "CreateCoreWebView2EnvironmentWithOptions")));
  }();
  return factory;
}

std::wstring Utf16FromAnsi(const std::string& text) {
  int length =
      MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                      length);
  return wide;
}

}  // namespace

void CVeldrinDlg::StartNewsPane(HWND placeholder) {
  CreateCoreWebView2EnvironmentWithOptionsFunction create = EnvironmentFactory();
  if (create == nullptr) return;
  std::wstring dataFolder = NewsDataFolder();
  auto* handler = new (std::nothrow) NewsEnvironmentHandler(*this, placeholder);
  // The component answers through the handler on this thread; what it returns now says
  // nothing the handler will not say.
  create(nullptr, dataFolder.c_str(), nullptr, handler);
  if (handler != nullptr) handler->Release();
}

HRESULT CVeldrinDlg::OnNewsEnvironmentCreated(HRESULT result, ICoreWebView2Environment* environment,
                                              HWND placeholder) {
  if (FAILED(result) || environment == nullptr) return result;
  auto* handler = new (std::nothrow) NewsControllerHandler(*this);
  environment->CreateCoreWebView2Controller(placeholder, handler);
  if (handler != nullptr) handler->Release();
  return S_OK;
}

HRESULT CVeldrinDlg::OnNewsControllerCreated(HRESULT result, ICoreWebView2Controller* controller) {
  if (FAILED(result) || controller == nullptr) return result;
  if (controller != m_webViewController.get()) m_webViewController.Share(controller);
  m_webViewController->get_CoreWebView2(m_webView.Receive());

  platform::ProfileReader profile(m_patchSysPath);
  std::string url = profile.String("Browser", "URL", "", kUrlSize);
  int x = profile.Int("Browser", "X", 0);
  int y = profile.Int("Browser", "Y", 0);
  int width = profile.Int("Browser", "cX", 0);
  int height = profile.Int("Browser", "cY", 0);
  if (m_smallScreen) {
    x >>= 1;
    y >>= 1;
    width >>= 1;
    height >>= 1;
  }
  MoveWindow(::GetDlgItem(m_hWnd, IDC_BROWSER), x, y, width, height, TRUE);
  FitNewsPane();
  if (!url.empty() && m_webView) m_webView->Navigate(Utf16FromAnsi(url).c_str());
  return S_OK;
}

void CVeldrinDlg::FitNewsPane() {
  HWND placeholder = ::GetDlgItem(m_hWnd, IDC_BROWSER);
  if (!m_webViewController || placeholder == nullptr) return;
  RECT client{};
  ::GetClientRect(placeholder, &client);
  m_webViewController->put_Bounds(client);
}
