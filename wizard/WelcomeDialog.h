// The first page: welcome and the choice of the installation language.
#pragma once

#include "wizard/StyleDialog.h"

class WelcomeDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 135;
  static constexpr int kResultInstall = 1021;
  WelcomeDialog();
  ~WelcomeDialog() override;
};
