// The page shown when another operator's agent is installed and cannot
// take a second operator: it names the conflicting product, tells the user
// to remove it, offers a link to the system's Programs and Features (Add or
// Remove Programs on Windows XP) and ends with Try again or Close.
#pragma once

#include <windows.h>

#include <string>

#include "wizard/Static.h"
#include "wizard/StaticLink.h"
#include "wizard/StyleDialog.h"

class ConflictDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 147;
  static constexpr int kResultTryAgain = 4;
  static constexpr int kTryAgainId = 1024;
  static constexpr int kTitleId = 1003;
  static constexpr int kDescription1Id = 1028;
  static constexpr int kDescription2Id = 1005;
  static constexpr int kDescription3Id = 1008;
  static constexpr int kSoftwareNameId = 1009;
  static constexpr int kLinkId = 1029;
  // The command line that opens Programs and Features; the program it
  // names is started from the system folder by full path.
  static const wchar_t kControlPanelCommand[];

  explicit ConflictDialog(const std::wstring& softwareName);
  ~ConflictDialog() override;

  INT_PTR OnInitDialog() override;
  INT_PTR OnCommand(int id, int event) override;
  INT_PTR OnPaint() override;
  INT_PTR OnCtlColor(HDC dc, HWND control) override;
  // Opens Programs and Features for the link (1029) when the user
  // activated the link text itself; other ids do nothing.
  virtual void OnButtonClick(int id);
  // Cursor, hover and activation events of the link.
  virtual void OnLinkNotify(int event);
  virtual void UpdateVisibleStrings();

  const StaticLink& GetLink() const { return m_link; }
  const std::wstring& GetLinkText() const { return m_linkText; }

 protected:
  // The operating system's type code; below Vista the page speaks of Add
  // or Remove Programs.
  virtual int CurrentOS();

 private:
  Static m_title;
  Static m_description1;
  Static m_description2;
  Static m_description3;
  Static m_software;
  StaticLink m_link;
  std::wstring m_softwareName;
  std::wstring m_linkText;
};
