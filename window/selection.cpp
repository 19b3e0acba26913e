// The player's choice of network operator and line before patching starts.
#include <string>

#include "window/main_dialog.h"

void CVeldrinDlg::ChooseLine(std::int32_t line) {
  m_line = line;
  // Each radio starts a group of its own, so the system unchecks none of the others.
  for (std::int32_t other = 1; other <= 8; ++other) {
    m_lineRadios[other - 1].SetCheck(other == line ? BST_CHECKED : BST_UNCHECKED);
  }
}

void CVeldrinDlg::OnOperatorDX() { SwitchOperator(0, "RadioDDX", true); }

void CVeldrinDlg::OnOperatorWT() { SwitchOperator(1, "RadioDWT", false); }

// The labels beside the lines are the operator's own pictures; WT has no second line.
void CVeldrinDlg::SwitchOperator(std::int32_t chosen, const char* labelSections,
                                 bool lineTwoShown) {
  if (m_operator == chosen || m_started) return;
  m_operator = chosen;
  for (int line = 8; line >= 1; --line) {
    m_lineLabels[line - 1].LoadSkin(labelSections + std::to_string(line), m_patchSysPath,
                                    m_smallScreen);
  }
  int show = lineTwoShown ? SW_SHOW : SW_HIDE;
  m_lineLabels[1].ShowWindow(show);
  m_lineRadios[1].ShowWindow(show);
  ChooseLine(1);
}
