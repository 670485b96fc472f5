// The page shown when the Program Files drive has too little free space.
#pragma once

#include <string>

#include "wizard/StyleDialog.h"

class DiskSpaceReqDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 146;
  static constexpr int kResultEnoughSpace = 1;
  DiskSpaceReqDialog();
  ~DiskSpaceReqDialog() override;

  // Filled by the caller before the page is shown.
  void SetRequired(unsigned required) { m_required = required; }
  void SetAvailable(unsigned available) { m_available = available; }
  void SetDrive(const std::wstring& drive) { m_drive = drive; }

 private:
  unsigned m_required = 0;
  unsigned m_available = 0;
  std::wstring m_drive;
};
