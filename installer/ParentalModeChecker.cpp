#include "installer/ParentalModeChecker.h"

// Placeholder bodies; the check proper replaces them.
int ParentalModeChecker::VerifyParent() { return 1; }
bool ParentalModeChecker::DelayLoadLibs() { return false; }
bool ParentalModeChecker::QOMAConnect(void*&) { return false; }
int ParentalModeChecker::VerifyParentThroughAPI(void*) { return 1; }
