// The page that tells the user that the operating system is too old for
// the product; its only choice is Close, which ends the installation.
#pragma once

#include <windows.h>

#include "wizard/Static.h"
#include "wizard/StyleDialog.h"

class WrongOSDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 144;
  // What the page returns whenever the user ends it.
  static constexpr int kResultAbort = 8;

  WrongOSDialog();
  ~WrongOSDialog() override;

  INT_PTR OnInitDialog() override;
  INT_PTR OnCommand(int id, int event) override;
  INT_PTR OnCtlColor(HDC dc, HWND control) override;
  virtual void OnClose();
  virtual void UpdateVisibleStrings();

 private:
  Static m_title;
  Static m_description;
};
