#include "wizard/WelcomeDialog.h"

// Placeholder: the page proper replaces it.
WelcomeDialog::WelcomeDialog() : StyleDialog(kTemplateId, nullptr) {}
WelcomeDialog::~WelcomeDialog() {}
