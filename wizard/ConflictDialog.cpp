#include "wizard/ConflictDialog.h"

// Placeholder: the page proper replaces it.
ConflictDialog::ConflictDialog(const std::wstring& softwareName)
    : StyleDialog(kTemplateId, nullptr), m_softwareName(softwareName) {}
ConflictDialog::~ConflictDialog() {}
