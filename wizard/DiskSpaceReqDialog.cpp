#include "wizard/DiskSpaceReqDialog.h"

// Placeholder: the page proper replaces it.
DiskSpaceReqDialog::DiskSpaceReqDialog() : StyleDialog(kTemplateId, nullptr) {}
DiskSpaceReqDialog::~DiskSpaceReqDialog() {}
