// The wizard's message box: a small styled page with a title, a text and
// either one OK button or a Yes/No pair, which can be relabelled as a
// restart question. Used for every question and error of interactive mode.
#pragma once

#include <windows.h>

#include <string>

#include "wizard/StyleDialog.h"

class MessageDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 134;
  static constexpr int kTextId = 1010;

  explicit MessageDialog(HWND parent);
  ~MessageDialog() override;

  INT_PTR OnInitDialog() override;
  INT_PTR OnCommand(int id, int event) override;
  INT_PTR OnCtlColor(HDC dc, HWND control) override;

  void SetContent(const std::wstring& title, const std::wstring& text, int flags, bool restart) {
    m_title = title;
    m_text = text;
    m_flags = flags;
    m_restart = restart;
  }

 private:
  std::wstring m_text;
  std::wstring m_title;
  int m_flags;
  bool m_restart;
};

// Shows the message page modally and returns 1 (OK), 2 (Escape or system
// close), 6 (Yes), 7 (No) or -1 when the page could not be created. Only
// flags 4 (MB_YESNO) changes the page; restart relabels Yes/No as
// "restart now" and "restart later".
int ShowMessageDialog(const std::wstring& title, const std::wstring& text, HWND parent, int flags, bool restart);
