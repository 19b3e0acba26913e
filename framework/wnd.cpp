#include "framework/wnd.h"

#include "framework/message_handlers.h"
#include "platform/prompt_win32.h"

namespace {
// The window property that leads from a bound window to its object.
constexpr char kObjectProperty[] = "veldra.CWnd";
}  // namespace

constexpr MessageMapEntry CWnd::messageEntries[] = {
    Message<WM_DRAWITEM, &CWnd::OnDrawItem>(),
};
constinit const MessageMap CWnd::messageMap{nullptr, messageEntries};

CWnd::~CWnd() { UnsubclassWindow(); }

const MessageMap* CWnd::GetMessageMap() const { return &messageMap; }

CWnd* CWnd::FromHandlePermanent(HWND window) {
  return window != nullptr ? static_cast<CWnd*>(GetPropA(window, kObjectProperty)) : nullptr;
}

bool CWnd::SubclassWindow(HWND window) {
  if (window == nullptr || m_originalProc != nullptr || FromHandlePermanent(window) != nullptr) {
    return false;
  }
  if (!SetPropA(window, kObjectProperty, this)) return false;
  m_hWnd = window;
  m_originalProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::WindowProcedure)));
  if (m_originalProc == nullptr) {
    RemovePropA(window, kObjectProperty);
    m_hWnd = nullptr;
    return false;
  }
  return true;
}

bool CWnd::SubclassDlgItem(int id, CWnd* parent) {
  return SubclassWindow(::GetDlgItem(parent->m_hWnd, id));
}

void CWnd::UnsubclassWindow() {
  if (m_originalProc == nullptr) return;
  SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_originalProc));
  RemovePropA(m_hWnd, kObjectProperty);
  m_originalProc = nullptr;
  m_hWnd = nullptr;
}

LRESULT CALLBACK CWnd::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* self = FromHandlePermanent(window);
  if (self == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The last message: the window leaves the object before it goes.
    WNDPROC original = self->m_originalProc;
    self->UnsubclassWindow();
    return CallWindowProcA(original, window, message, wParam, lParam);
  }
  return self->WindowProc(message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  CurrentMessage outer = m_current;  // handlers may send messages to their own window
  m_current = {message, wParam, lParam};
  LRESULT result = 0;
  bool handled = false;
  for (const MessageMap* map = GetMessageMap(); map != nullptr && !handled; map = map->base) {
    for (const MessageMapEntry& entry : map->entries) {
      if (entry.Matches(message, wParam)) {
        result = entry.call(*this, message, wParam, lParam);
        handled = true;
        break;
      }
    }
  }
  if (!handled) result = DefWindowProc(message, wParam, lParam);
  m_current = outer;
  return result;
}

LRESULT CWnd::Default() {
  return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_originalProc != nullptr) {
    return CallWindowProcA(m_originalProc, m_hWnd, message, wParam, lParam);
  }
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

bool CWnd::OnChildNotify(UINT, WPARAM, LPARAM) { return false; }

void CWnd::OnDrawItem(int, DRAWITEMSTRUCT* item) {
  CWnd* control = FromHandlePermanent(item->hwndItem);
  if (control == nullptr ||
      !control->OnChildNotify(m_current.message, m_current.wParam, m_current.lParam)) {
    Default();
  }
}

BOOL CWnd::ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command); }

BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }

BOOL CWnd::EnableWindow(BOOL enable) const { return ::EnableWindow(m_hWnd, enable); }

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) const {
  return ::SetWindowPos(m_hWnd, insertAfter != nullptr ? insertAfter->m_hWnd : nullptr, x, y, cx,
                        cy, flags);
}

CWnd CWnd::GetDlgItem(int id) const { return CWnd(::GetDlgItem(m_hWnd, id)); }

void CWnd::InvalidateRect(const RECT* rect, BOOL erase) const {
  ::InvalidateRect(m_hWnd, rect, erase);
}

void CWnd::ClientToScreen(POINT* point) const { ::ClientToScreen(m_hWnd, point); }

void CWnd::GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }

void CWnd::GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs) const {
  return ::SetTimer(m_hWnd, id, elapseMs, nullptr);
}

BOOL CWnd::KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }

void CWnd::SetWindowText(const std::string& text) const { ::SetWindowTextA(m_hWnd, text.c_str()); }

std::string CWnd::GetWindowText() const {
  std::string text(::GetWindowTextLengthA(m_hWnd) + 1, '\0');
  text.resize(::GetWindowTextA(m_hWnd, text.data(), static_cast<int>(text.size())));
  return text;
}

int CWnd::MessageBox(const std::string& text, const char* caption, UINT type) const {
  return platform::ShowOwnedMessage(
      m_hWnd, text, caption != nullptr ? caption : platform::ApplicationName(), type);
}

BOOL CWnd::DestroyWindow() {
  // A bound window leaves its object by itself, on its last message.
  BOOL destroyed = ::DestroyWindow(m_hWnd);
  if (destroyed) m_hWnd = nullptr;
  return destroyed;
}
