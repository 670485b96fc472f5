#include "wizard/EultDialog.h"

// Placeholders: the pages proper replace them.
EultDialog::EultDialog(bool) : StyleDialog(kTemplateId, nullptr) {}
EultDialog::~EultDialog() {}
std::wstring EultDialog::GetLicenseTermsHash() const { return std::wstring(); }
PrivacyPolicyDialog::PrivacyPolicyDialog() : StyleDialog(kTemplateId, nullptr) {}
PrivacyPolicyDialog::~PrivacyPolicyDialog() {}
