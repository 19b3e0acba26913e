// The worker's progress in the skin's two bars and four text places.
#include "window/main_dialog.h"

void CVeldrinDlg::ShowStatus(const PatchSnapshot& seen) {
  StatusLines lines = m_statusTexts.Lines(seen, StatusTexts::Clock::now());
  m_progress1.SetRange32(0, lines.itemBar.range);
  m_progress1.SetPos(lines.itemBar.pos);
  m_progress2.SetRange32(0, lines.stageBar.range);
  m_progress2.SetPos(lines.stageBar.pos);
  ReplaceText(m_texts[0], lines.item);
  ReplaceText(m_texts[2], lines.itemFigures);
  ReplaceText(m_texts[1], lines.stage);
  ReplaceText(m_texts[3], lines.stageFigures);
}

// The texts are drawn straight onto the background, which nothing erases under them: the
// dialog repaints that spot first and the text over it, so no stroke of the old text stays.
void CVeldrinDlg::ReplaceText(CStatic& control, const std::string& text) {
  if (control.GetWindowText() == text) return;
  control.SetWindowText(text);
  RECT place{};
  control.GetWindowRect(&place);
  MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
  RedrawWindow(m_hWnd, &place, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}
