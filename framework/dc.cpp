#include "framework/dc.h"

#include "framework/wnd.h"

CPaintDC::CPaintDC(CWnd* window) : m_window(window->m_hWnd) { m_hDC = BeginPaint(m_window, &m_ps); }

CPaintDC::~CPaintDC() { EndPaint(m_window, &m_ps); }
