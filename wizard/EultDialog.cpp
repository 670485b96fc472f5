#include "wizard/EultDialog.h"

#include <cstdio>
#include <vector>

#include "logging/Log.h"
#include "platform/Geometry.h"
#include "platform/Sha1.h"
#include "settings/LarkProperties.h"
#include "wizard/MessageDialog.h"

namespace {
const int kContentPanelId = 1006;
const int kCaptionCloseId = 8;
// Gaps of the licence page's buttons, in pixels: Accept and Decline stand
// in from the text box's edges, below it.
const int kButtonInset = 56;
const int kButtonDrop = 24;
const int kButtonGap = 8;

RECT ClientRectOf(HWND dialog, int id) {
  RECT r = {};
  GetWindowRect(GetDlgItem(dialog, id), &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void PlaceBackButton(HWND dialog) {
  HWND back = GetDlgItem(dialog, RichEditDialogBase::kBackId);
  POINT at = PlaceControlAfter(GetDlgItem(dialog, kContentPanelId), back, dialog);
  SetWindowPos(back, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
}  // namespace

bool ConfirmCancelInstallation(HWND page) {
  // No lock around the question: the page's worker may be fetching the
  // stub configuration meanwhile, and the answer must be able to cancel it.
  LarkProperties* store = LarkProperties::Instance();
  return ShowMessageDialog(store->GetSetting(L"Title"), store->GetLocalizedString(L"Sure"), page, MB_YESNO, false) ==
         IDYES;
}

EultDialog::EultDialog(bool backEnabled)
    : RichEditDialogBase(kTemplateId, kLinkId, kWorkerCompleteId, LarkProperties::Instance()->GetEulaDirectory(),
                         L"license.txt", L"EULTUrl", backEnabled) {
  m_downloader.SetTimeout(kDownloadTimeoutSeconds);
}

EultDialog::~EultDialog() {}

INT_PTR EultDialog::OnInitDialog() {
  LogW(5, L"%s: ", L"EultDialog::OnInitDialog");
  const RECT text = ClientRectOf(m_window, kRichEditId);
  HWND accept = GetDlgItem(m_window, kAcceptId);
  HWND retry = GetDlgItem(m_window, kRetryId);
  HWND decline = GetDlgItem(m_window, kDeclineId);
  const RECT declineRect = ClientRectOf(m_window, kDeclineId);
  const int declineWidth = declineRect.right - declineRect.left;
  const int declineLeft = text.right - kButtonInset - declineWidth;
  const int top = text.bottom + kButtonDrop;
  SetWindowPos(decline, nullptr, declineLeft, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  const RECT acceptRect = ClientRectOf(m_window, kAcceptId);
  const int left = text.left + kButtonInset;
  const int width = declineLeft - kButtonGap - left;
  for (HWND button : {accept, retry}) {
    SetWindowPos(button, nullptr, left, top, width, acceptRect.bottom - acceptRect.top, SWP_NOZORDER);
  }
  PlaceBackButton(m_window);
  RichEditDialogBase::OnInitDialog();
  // Once more against the panel as fitted, so that Back stands where the
  // other pages have their last button.
  PlaceBackButton(m_window);
  return 0;
}

void EultDialog::UpdateVisibleStrings() {
  RichEditDialogBase::UpdateVisibleStrings();
  LarkProperties* store = LarkProperties::Instance();
  m_title.SetText(store->GetLocalizedString(L"EulaTitle"), false);
  m_text.SetText(store->GetLocalizedString(L"EulaInstructions"), false);
  SetDlgItemTextW(m_window, kAcceptId, store->GetLocalizedString(L"Accept").c_str());
  SetDlgItemTextW(m_window, kDeclineId, store->GetLocalizedString(L"Cancel").c_str());
  SetDlgItemTextW(m_window, kBackId, store->GetLocalizedString(L"Back").c_str());
  SetDlgItemTextW(m_window, kRetryId, store->GetLocalizedString(L"Retry").c_str());
  SetLinkText(store->GetLocalizedString(L"PrivacyPolicyLink"));
}

INT_PTR EultDialog::OnCommand(int id, int event) {
  if (id == IDCANCEL || id == kCaptionCloseId || id == kDeclineId) {
    OnButtonClick(kResultCancel);
    return 0;
  }
  if (id == kLinkId) {
    OnLinkNotify(event);
    return 0;
  }
  return RichEditDialogBase::OnCommand(id, event);
}

void EultDialog::OnButtonClick(int result) {
  if (m_result != -1) return;  // already leaving; the worker's end closes the page
  if (result == kResultCancel) {
    LogW(4, L"%s: User clicked Decline or Cancel. Asking whether to cancel the installation...",
         L"EultDialog::OnButtonClick");
    if (!ConfirmCancelInstallation(m_window)) return;
  } else if (result == kResultPrivacyLink) {
    LogW(4, L"%s: User clicked privacy policy link", L"EultDialog::OnButtonClick");
    if (!m_link.IsCursorOverLink()) return;
  } else if (result == kResultAccept) {
    // Only a shown document can be accepted, whatever sent the command.
    if (!IsWindowEnabled(GetDlgItem(m_window, kAcceptId))) return;
  }
  ChooseResult(result);
}

std::wstring EultDialog::GetLicenseTermsHash() const {
  if (m_contentPath.empty()) return std::wstring();
  const DWORD attributes = GetFileAttributesW(m_contentPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::wstring();
  FILE* file = _wfopen(m_contentPath.c_str(), L"rb");
  if (!file) return std::wstring();
  std::vector<BYTE> bytes;
  BYTE chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  fclose(file);
  return Sha1Hex(bytes.data(), bytes.size());
}

PrivacyPolicyDialog::PrivacyPolicyDialog()
    : RichEditDialogBase(kTemplateId, 0, kWorkerCompleteId, LarkProperties::Instance()->GetPrivacyDirectory(),
                         L"privacypolicy.txt", L"privacyPolicyUrl", true) {
  m_downloader.SetTimeout(kDownloadTimeoutSeconds);
}

PrivacyPolicyDialog::~PrivacyPolicyDialog() {}

INT_PTR PrivacyPolicyDialog::OnInitDialog() {
  LogW(5, L"%s: ", L"PrivacyPolicyDialog::OnInitDialog");
  PlaceBackButton(m_window);
  PlaceLeftOf(GetDlgItem(m_window, kBackId), GetDlgItem(m_window, kRetryId));
  RichEditDialogBase::OnInitDialog();
  PlaceBackButton(m_window);
  PlaceLeftOf(GetDlgItem(m_window, kBackId), GetDlgItem(m_window, kRetryId));
  // The page has no decline button to take the first focus; without this
  // the keyboard would have no place until the document is there.
  SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(m_window, kBackId)), TRUE);
  return 0;
}

void PrivacyPolicyDialog::UpdateVisibleStrings() {
  RichEditDialogBase::UpdateVisibleStrings();
  LarkProperties* store = LarkProperties::Instance();
  m_title.SetText(store->GetLocalizedString(L"PrivacyPolicyTitle"), false);
  m_text.SetText(store->GetLocalizedString(L"PrivacyPolicyInstructions"), false);
  SetDlgItemTextW(m_window, kBackId, store->GetLocalizedString(L"Back").c_str());
  SetDlgItemTextW(m_window, kRetryId, store->GetLocalizedString(L"Retry").c_str());
}

INT_PTR PrivacyPolicyDialog::OnCommand(int id, int event) {
  if (id == IDCANCEL || id == kCaptionCloseId) {
    LogW(4, L"%s: User clicked Decline or Cancel. Asking whether to cancel the installation...",
         L"PrivacyPolicyDialog::OnCommand");
    if (m_result == -1 && ConfirmCancelInstallation(m_window)) OnButtonClick(kResultCancel);
    return 0;
  }
  RichEditDialogBase::OnCommand(id, event);
  if (id == kWorkerCompleteId && m_result == -1 && IsWindowEnabled(m_window)) {
    HWND back = GetDlgItem(m_window, kBackId);
    SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(back), TRUE);
  }
  return 0;
}

void PrivacyPolicyDialog::OnButtonClick(int result) {
  if (m_result != -1) return;
  ChooseResult(result);
}
