#pragma once

#include <windows.h>

#include <atomic>

#include "window/webview2.h"

class CVeldrinDlg;
class CWnd;

// A completion handler of the browser component: counted as COM counts, starting at one
// reference, and deleted with the last one.
template <class Interface, const IID& kInterfaceId>
class CountedHandler : public Interface {
 public:
  CountedHandler(const CountedHandler&) = delete;
  CountedHandler& operator=(const CountedHandler&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != __uuidof(IUnknown) && iid != kInterfaceId) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<Interface*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  CountedHandler() = default;
  virtual ~CountedHandler() = default;

 private:
  std::atomic<ULONG> count_{1};
};

// The dialog a handler reports to. The component may call back after the window has closed
// and the dialog is gone, so the handler asks whether the dialog's window is still bound to
// that dialog before it touches it.
class DialogLink {
 public:
  explicit DialogLink(CVeldrinDlg& dialog);
  // The dialog, or null when its window is gone.
  CVeldrinDlg* Live() const;

 private:
  CVeldrinDlg* dialog_;
  const CWnd* bound_;
  HWND window_;
};

class NewsEnvironmentHandler final
    : public CountedHandler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                            IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> {
 public:
  NewsEnvironmentHandler(CVeldrinDlg& dialog, HWND placeholder)
      : dialog_(dialog), placeholder_(placeholder) {}

  HRESULT STDMETHODCALLTYPE Invoke(HRESULT result, ICoreWebView2Environment* environment) override;

 private:
  DialogLink dialog_;
  HWND placeholder_;
};

class NewsControllerHandler final
    : public CountedHandler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                            IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> {
 public:
  explicit NewsControllerHandler(CVeldrinDlg& dialog) : dialog_(dialog) {}

  HRESULT STDMETHODCALLTYPE Invoke(HRESULT result, ICoreWebView2Controller* controller) override;

 private:
  DialogLink dialog_;
};
