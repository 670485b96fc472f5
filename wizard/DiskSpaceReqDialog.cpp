#include "wizard/DiskSpaceReqDialog.h"

#include <cwchar>

#include "logging/Log.h"
#include "platform/Geometry.h"
#include "platform/PathUtils.h"
#include "platform/SystemInfo.h"
#include "settings/LarkProperties.h"

namespace {
const int kContentPanelId = 1006;
const int kCaptionCloseId = 8;

HBRUSH NullBrush() { return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)); }

std::wstring Number(unsigned value) {
  wchar_t text[16] = {};
  swprintf(text, 16, L"%u", value);
  return text;
}
}  // namespace

DiskSpaceReqDialog::DiskSpaceReqDialog() : StyleDialog(kTemplateId, nullptr) { m_pageImage = 1; }

DiskSpaceReqDialog::~DiskSpaceReqDialog() {}

unsigned long long DiskSpaceReqDialog::FreeMegabytes(const std::wstring& drive) {
  return SystemInfo().GetFreeDiskSpace(drive);
}

INT_PTR DiskSpaceReqDialog::OnInitDialog() {
  LogW(5, L"%s: ", L"DiskSpaceReqDialog::OnInitDialog");
  StyleDialogBase::OnInitDialog();
  FitToClient();
  HWND close = GetDlgItem(m_window, IDCANCEL);
  POINT at = PlaceControlAfter(GetDlgItem(m_window, kContentPanelId), close, m_window);
  SetWindowPos(close, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  // Try again follows Close; left at its template place it would stand a
  // few pixels higher than the moved Close.
  PlaceLeftOf(close, GetDlgItem(m_window, kTryAgainId));
  m_title.Bind(GetDlgItem(m_window, kTitleId));
  m_description.Bind(GetDlgItem(m_window, kDescriptionId));
  SendMessageW(m_title.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont), TRUE);
  SendMessageW(m_description.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_normalFont), TRUE);
  UpdateVisibleStrings();
  SetRoundedRegion();
  // The keyboard starts on Close, the page's default button.
  SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(close), TRUE);
  return 0;
}

void DiskSpaceReqDialog::UpdateVisibleStrings() {
  LogW(5, L"%s: ", L"DiskSpaceReqDialog::UpdateVisibleStrings");
  LarkProperties* properties = LarkProperties::Instance();
  m_title.SetText(properties->GetLocalizedString(L"DiskRequirementTitle"), false);
  UpdateDescription();
  SetDlgItemTextW(m_window, IDCANCEL, properties->GetLocalizedString(L"Close").c_str());
  SetDlgItemTextW(m_window, kTryAgainId, properties->GetLocalizedString(L"TryAgain").c_str());
}

std::wstring DiskSpaceReqDialog::FormatDescription() const {
  std::wstring text = LarkProperties::Instance()->GetLocalizedString(L"DiskRequirementDescription");
  text = ReplaceFirst(L"%INSTALL_DRIVE%", text, m_drive);
  // Unsigned: a count above 2^31 MB must not show as a negative number.
  text = ReplaceFirst(L"%DISK_AVAILABLE%", text, Number(m_available));
  text = ReplaceFirst(L"%DISK_REQUIRED%", text, Number(m_required));
  return text;
}

void DiskSpaceReqDialog::UpdateDescription() {
  LogW(5, L"%s: ", L"DiskSpaceReqDialog::UpdateDescription");
  m_description.SetText(FormatDescription(), false);
}

INT_PTR DiskSpaceReqDialog::OnCommand(int id, int event) {
  LogW(5, L"%s: id %d event %d", L"DiskSpaceReqDialog::OnCommand", id, event);
  if (id == IDCANCEL || id == kCaptionCloseId) {
    OnCancel();
  } else if (id == kTryAgainId) {
    OnRetry();
  }
  return 0;
}

void DiskSpaceReqDialog::OnCancel() {
  LogW(4, L"%s: User clicked Close. Aborting the installation", L"DiskSpaceReqDialog::OnCancel");
  EndDialog(m_window, IDCANCEL);
}

void DiskSpaceReqDialog::OnRetry() {
  const wchar_t* self = L"DiskSpaceReqDialog::OnRetry";
  LogW(4, L"%s: Retrying to check available disk space again..", self);
  // A measurement that fails gives all bits set, which passes like the
  // engine's first check.
  m_available = static_cast<unsigned>(FreeMegabytes(m_drive));
  if (m_required > m_available) {
    LogW(1, L"%s: Still don't have enough disk space in %s. Required is %u, available is %u", self,
         m_drive.c_str(), m_required, m_available);
    UpdateDescription();
  } else {
    LogW(4, L"%s: There is now enough disk space in %s to install relay kit.", self, m_drive.c_str());
    EndDialog(m_window, kResultEnoughSpace);
  }
}

INT_PTR DiskSpaceReqDialog::OnCtlColor(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == IDCANCEL || id == kTryAgainId) StyleDialogBase::OnCtlColor(dc, control);
  if (id == kTitleId) SetTextColor(dc, RGB(64, 64, 64));
  switch (id) {
    case IDCANCEL:
    case kCaptionCloseId:
    case kTitleId:
    case kDescriptionId:
    case kTryAgainId:
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(NullBrush());
    default:
      return 0;
  }
}
