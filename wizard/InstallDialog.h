// The installation page: a worker thread downloads the packages, installs
// the agent (or only adds an operator), starts the agent's programs and
// reports back; the page shows progress and the outcome.
#pragma once

#include <windows.h>

#include <string>

#include "wizard/StyleDialog.h"

class StubProgram;

class InstallDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 132;
  // Page results.
  enum { kSucceeded = 0, kRebootRequired = 1, kCancelled = 2, kFailed = 3, kBadSignature = 4,
         kBadStubVersion = 5 };
  InstallDialog(StubProgram* owner, bool local, const std::wstring& language,
                const std::wstring& targetDirectory, const std::wstring& lateboundTargetDirectory,
                const std::wstring& licenseTermsHash, bool reinstall, bool operatorOnly,
                HANDLE allowedToOperate);
  ~InstallDialog() override;
};
