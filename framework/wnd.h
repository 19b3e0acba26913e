#pragma once

#include <windows.h>

#include <string>

#include "framework/message_map.h"

// A window of the dialog framework. Built from a handle, it only makes calls on that window.
// Bound to a window with SubclassWindow, it becomes the window's procedure: each message goes
// through the message map of the object's class and its bases, then to the procedure the
// window had before. The binding ends when the window is destroyed or the object is.
class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND window) : m_hWnd(window) {}
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  // The object bound to `window`, or none.
  static CWnd* FromHandlePermanent(HWND window);

  bool SubclassWindow(HWND window);
  bool SubclassDlgItem(int id, CWnd* parent);
  // Gives the window back its own procedure.
  void UnsubclassWindow();

  BOOL ShowWindow(int command) const;
  BOOL IsWindowVisible() const;
  BOOL EnableWindow(BOOL enable = TRUE) const;
  BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) const;
  // The child of that id; its handle is null when there is none.
  CWnd GetDlgItem(int id) const;
  void InvalidateRect(const RECT* rect, BOOL erase = TRUE) const;
  void ClientToScreen(POINT* point) const;
  void GetWindowRect(RECT* rect) const;
  void GetClientRect(RECT* rect) const;
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs) const;
  BOOL KillTimer(UINT_PTR id) const;
  void SetWindowText(const std::string& text) const;
  std::string GetWindowText() const;
  // A box owned by this window; without a caption it carries the application's name.
  int MessageBox(const std::string& text, const char* caption = nullptr, UINT type = MB_OK) const;
  BOOL DestroyWindow();

  HWND m_hWnd = nullptr;

 protected:
  virtual const MessageMap* GetMessageMap() const;
  // The parent hands a control the notifications that concern the control itself (owner
  // draw); true when the control took it.
  virtual bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam);

  // The message being handled, passed on to the window's own procedure.
  LRESULT Default();
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  void OnDrawItem(int id, DRAWITEMSTRUCT* item);

  static const MessageMap messageMap;
  static const MessageMapEntry messageEntries[];

 private:
  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };

  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  WNDPROC m_originalProc = nullptr;
  CurrentMessage m_current{};
};
