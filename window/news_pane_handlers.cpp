#include "window/news_pane_handlers.h"

#include "window/main_dialog.h"

namespace {
// What a handler answers when its dialog has gone before the component called back.
constexpr HRESULT kDialogGone = HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
}  // namespace

DialogLink::DialogLink(CVeldrinDlg& dialog)
    : dialog_(&dialog), bound_(&dialog), window_(dialog.GetSafeHwnd()) {}

CVeldrinDlg* DialogLink::Live() const {
  // A window leaves its object when it is destroyed, and the object lets go of its window
  // when it is destroyed first; either way the binding is gone.
  return IsWindow(window_) && CWnd::FromHandlePermanent(window_) == bound_ ? dialog_ : nullptr;
}

HRESULT NewsEnvironmentHandler::Invoke(HRESULT result, ICoreWebView2Environment* environment) {
  CVeldrinDlg* dialog = dialog_.Live();
  if (dialog == nullptr) return kDialogGone;
  return dialog->OnNewsEnvironmentCreated(result, environment, placeholder_);
}

HRESULT NewsControllerHandler::Invoke(HRESULT result, ICoreWebView2Controller* controller) {
  CVeldrinDlg* dialog = dialog_.Live();
  if (dialog == nullptr) return kDialogGone;
  return dialog->OnNewsControllerCreated(result, controller);
}
