// The licence-terms page and the privacy-policy page: a downloaded (or
// local) text in a rich edit control with accept, decline and back.
#pragma once

#include <string>

#include "wizard/RichEditDialogBase.h"

class EultDialog : public RichEditDialogBase {
 public:
  static constexpr int kTemplateId = 139;
  static constexpr int kResultAccept = 1000;
  static constexpr int kResultBack = 1013;
  static constexpr int kResultPrivacyLink = 1025;
  // Declined, and the user confirmed cancelling the installation.
  static constexpr int kResultCancel = 2;
  static constexpr int kLinkId = 1025;
  static constexpr int kWorkerCompleteId = 1022;

  explicit EultDialog(bool backEnabled);
  ~EultDialog() override;

  INT_PTR OnInitDialog() override;
  INT_PTR OnCommand(int id, int event) override;
  void OnButtonClick(int result) override;
  void UpdateVisibleStrings() override;

  // SHA-1 of the licence file shown, 40 lower-case hex characters; empty
  // when nothing was shown.
  std::wstring GetLicenseTermsHash() const;
};

class PrivacyPolicyDialog : public RichEditDialogBase {
 public:
  static constexpr int kTemplateId = 143;
  static constexpr int kResultBack = 1013;
  // The user confirmed cancelling the installation.
  static constexpr int kResultCancel = 1;
  static constexpr int kWorkerCompleteId = 1026;

  PrivacyPolicyDialog();
  ~PrivacyPolicyDialog() override;

  INT_PTR OnInitDialog() override;
  INT_PTR OnCommand(int id, int event) override;
  void OnButtonClick(int result) override;
  void UpdateVisibleStrings() override;
};

// Asks "Sure" over the page; true when the user answered Yes.
bool ConfirmCancelInstallation(HWND page);
