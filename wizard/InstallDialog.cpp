#include "wizard/InstallDialog.h"

// Placeholder: the page proper replaces it.
InstallDialog::InstallDialog(StubProgram*, bool, const std::wstring&, const std::wstring&,
                             const std::wstring&, const std::wstring&, bool, bool, HANDLE)
    : StyleDialog(kTemplateId, nullptr) {}
InstallDialog::~InstallDialog() {}
