// The parental-control check: when the agent's parental control is set up
// with a parent password, the installation goes on only after the parent
// has authorised it. Whenever the question cannot be asked (a library
// missing, no connection to the management agent, no profile, no password
// set) the installation goes on.
#pragma once

#include <windows.h>

class ParentalModeChecker {
 public:
  // 1: go on; 0: the parent did not authorise the installation.
  static int VerifyParent();
  // Binds the three libraries of the parental-control software (delay-load
  // id 0); false as soon as one of them or one of its functions is missing.
  static bool DelayLoadLibs();
  // Registers this installer with the management agent; module receives
  // the registration handle (it may be set even when this fails).
  static bool QOMAConnect(void*& module);
  // Asks the parent profile; 1 when it cannot, else the authentication's
  // result (0 refused).
  static int VerifyParentThroughAPI(void* module);
};

// The agent-module policy OID under which this installer registers.
extern const char kParentalPolicyOid[];
