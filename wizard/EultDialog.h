// The licence-terms page and the privacy-policy page: a downloaded (or
// local) text in a rich edit control with accept, decline and back.
#pragma once

#include <string>

#include "wizard/StyleDialog.h"

class EultDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 139;
  static constexpr int kResultAccept = 1000;
  static constexpr int kResultBack = 1013;
  static constexpr int kResultPrivacyLink = 1025;
  explicit EultDialog(bool backEnabled);
  ~EultDialog() override;
  // SHA-1 of the licence file shown, 40 lower-case hex characters; empty
  // when nothing was shown.
  std::wstring GetLicenseTermsHash() const;
};

class PrivacyPolicyDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 143;
  static constexpr int kResultBack = 1013;
  PrivacyPolicyDialog();
  ~PrivacyPolicyDialog() override;
};
