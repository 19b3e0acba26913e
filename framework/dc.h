#pragma once

#include <windows.h>

class CWnd;

// A device context handed to a handler; it belongs to whoever made it.
class CDC {
 public:
  explicit CDC(HDC dc = nullptr) : m_hDC(dc) {}
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  HDC GetSafeHdc() const { return m_hDC; }
  int SetBkMode(int mode) const { return ::SetBkMode(m_hDC, mode); }
  BOOL BitBlt(int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
              DWORD rop) const {
    return ::BitBlt(m_hDC, x, y, width, height, source, sourceX, sourceY, rop);
  }

  HDC m_hDC;
};

// The device context of WM_PAINT, from BeginPaint to EndPaint.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* window);
  ~CPaintDC();

  PAINTSTRUCT m_ps{};

 private:
  HWND m_window;
};
