// The page shown when the Program Files drive has less free space than the
// installation needs: it names the drive, the free and the required
// megabytes, measures again on each Try again and ends with success as
// soon as there is enough space.
#pragma once

#include <windows.h>

#include <string>

#include "wizard/Static.h"
#include "wizard/StyleDialog.h"

class DiskSpaceReqDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 146;
  static constexpr int kResultEnoughSpace = 1;
  static constexpr int kTryAgainId = 1024;
  static constexpr int kTitleId = 1003;
  static constexpr int kDescriptionId = 1004;

  DiskSpaceReqDialog();
  ~DiskSpaceReqDialog() override;

  // Filled by the caller before the page is shown.
  void SetRequired(unsigned required) { m_required = required; }
  void SetAvailable(unsigned available) { m_available = available; }
  void SetDrive(const std::wstring& drive) { m_drive = drive; }
  unsigned GetRequired() const { return m_required; }
  unsigned GetAvailable() const { return m_available; }
  const std::wstring& GetDrive() const { return m_drive; }

  INT_PTR OnInitDialog() override;
  INT_PTR OnCommand(int id, int event) override;
  INT_PTR OnCtlColor(HDC dc, HWND control) override;
  virtual void OnCancel();
  virtual void UpdateVisibleStrings();
  // Measures the drive again: ends the page with 1 when the requirement is
  // met, otherwise shows the new numbers.
  virtual void OnRetry();

  // Shows the description with the drive and both numbers; callable once
  // the window exists.
  void UpdateDescription();
  // "DiskRequirementDescription" with its placeholders filled.
  std::wstring FormatDescription() const;

 protected:
  // Megabytes free to the user on the drive; all bits set when unknown.
  virtual unsigned long long FreeMegabytes(const std::wstring& drive);

 private:
  Static m_title;
  Static m_description;
  unsigned m_required = 0;
  unsigned m_available = 0;
  std::wstring m_drive;
};
