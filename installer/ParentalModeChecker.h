// The parental-control check: when the agent's parental control is set up
// with a parent password, the installation goes on only after the parent
// has authorised it. Missing libraries let the installation go on.
#pragma once

#include <windows.h>

class ParentalModeChecker {
 public:
  // 1: go on; 0: the parent did not authorise the installation.
  static int VerifyParent();
  static bool DelayLoadLibs();
  static bool QOMAConnect(void*& module);
  static int VerifyParentThroughAPI(void* module);
};
