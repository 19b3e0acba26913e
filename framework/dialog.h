#pragma once

#include <windows.h>

#include "framework/wnd.h"

class CDialog;

// What DoDataExchange is given: the dialog whose controls are bound.
class CDataExchange {
 public:
  explicit CDataExchange(CDialog* dialog) : m_pDlgWnd(dialog) {}

  CDialog* m_pDlgWnd;
};

// Binds the dialog's control of that id to `control`, once: from then on the control's
// messages go through the map of the control object's class.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

// A dialog from a template resource of the program. Its window procedure is the object's
// message map, in front of the system's dialog handling.
class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr)
      : m_templateId(templateId), m_parent(parent) {}
  ~CDialog() override;

  // Runs the dialog with a message loop of its own until EndDialog; its result.
  INT_PTR DoModal();
  // Shows the dialog without a loop of its own; DestroyWindow ends it.
  bool Create();
  void EndDialog(INT_PTR result) const { ::EndDialog(m_hWnd, result); }
  // Binds the controls. This framework moves no data, so the direction is not asked for.
  BOOL UpdateData();

 protected:
  // The base binds the controls through DoDataExchange.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* exchange);
  virtual void OnOK();
  virtual void OnCancel();

  const MessageMap* GetMessageMap() const override;
  static const MessageMap messageMap;
  static const MessageMapEntry messageEntries[];

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  UINT m_templateId;
  CWnd* m_parent;
};
