// The page shown when another operator's agent is installed: it names the
// product and offers the system's panel to remove it.
#pragma once

#include <string>

#include "wizard/StyleDialog.h"

class ConflictDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 147;
  static constexpr int kResultTryAgain = 4;
  explicit ConflictDialog(const std::wstring& softwareName);
  ~ConflictDialog() override;

 private:
  std::wstring m_softwareName;
};
