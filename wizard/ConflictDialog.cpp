#include "wizard/ConflictDialog.h"

#include <vector>

#include "logging/Log.h"
#include "platform/SystemFolder.h"
#include "platform/SystemInfo.h"
#include "settings/LarkProperties.h"

namespace {
const int kCaptionCloseId = 8;
const int kFirstVistaCode = 10;

HBRUSH NullBrush() { return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)); }

void SetFont(const Static& label, HFONT font) {
  SendMessageW(label.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}
}  // namespace

const wchar_t ConflictDialog::kControlPanelCommand[] = L"rundll32.exe shell32.dll,Control_RunDLL appwiz.cpl";

ConflictDialog::ConflictDialog(const std::wstring& softwareName)
    : StyleDialog(kTemplateId, nullptr), m_softwareName(softwareName) {
  m_pageImage = 0;
}

ConflictDialog::~ConflictDialog() {}

int ConflictDialog::CurrentOS() { return SystemInfo().GetOS(); }

INT_PTR ConflictDialog::OnInitDialog() {
  LogW(5, L"%s: ", L"ConflictDialog::OnInitDialog");
  StyleDialogBase::OnInitDialog();
  FitToClient();

  m_title.Bind(GetDlgItem(m_window, kTitleId));
  m_description1.Bind(GetDlgItem(m_window, kDescription1Id));
  m_description2.Bind(GetDlgItem(m_window, kDescription2Id));
  m_description3.Bind(GetDlgItem(m_window, kDescription3Id));
  m_software.Bind(GetDlgItem(m_window, kSoftwareNameId));
  SetFont(m_description1, m_normalFont);
  SetFont(m_description2, m_normalFont);
  SetFont(m_description3, m_normalFont);
  SetFont(m_title, m_titleFont);
  SetFont(m_software, m_boldFont);

  m_link.Bind(GetDlgItem(m_window, kLinkId));
  StaticLink::Subclass(m_link.GetHwnd(), kLinkId);
  m_link.SetFonts(m_normalFont, m_linkFont);

  UpdateVisibleStrings();
  SetRoundedRegion();
  // The keyboard starts on Close, the page's default button.
  SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(m_window, IDCANCEL)), TRUE);
  return 0;
}

void ConflictDialog::UpdateVisibleStrings() {
  LogW(5, L"%s: ", L"ConflictDialog::UpdateVisibleStrings");
  LarkProperties* properties = LarkProperties::Instance();
  const bool xp = CurrentOS() < kFirstVistaCode;
  m_title.SetText(properties->GetLocalizedString(L"ConflictTitle"), false);
  m_description1.SetText(properties->GetLocalizedString(L"ConflictDescription1"), false);
  m_description2.SetText(properties->GetLocalizedString(L"ConflictDescription2"), false);
  m_software.SetText(m_softwareName, false);
  m_description3.SetText(properties->GetLocalizedString(xp ? L"ConflictDescription3XP" : L"ConflictDescription3"),
                         false);
  m_linkText = properties->GetLocalizedString(xp ? L"ConflictLinkXP" : L"ConflictLink");
  m_link.SetTexts(m_linkText, m_linkText, m_linkText);
  SetDlgItemTextW(m_window, IDCANCEL, properties->GetLocalizedString(L"Close").c_str());
  SetDlgItemTextW(m_window, kTryAgainId, properties->GetLocalizedString(L"TryAgain").c_str());
}

INT_PTR ConflictDialog::OnCommand(int id, int event) {
  LogW(5, L"%s: id %d event %d", L"ConflictDialog::OnCommand", id, event);
  if (id == IDCANCEL || id == kCaptionCloseId) {
    EndDialog(m_window, IDCANCEL);
  } else if (id == kTryAgainId) {
    EndDialog(m_window, kResultTryAgain);
  } else if (id == kLinkId) {
    OnLinkNotify(event);
  }
  return 0;
}

void ConflictDialog::OnLinkNotify(int event) {
  if (!m_link.HandleNotify(event)) OnButtonClick(kLinkId);
}

void ConflictDialog::OnButtonClick(int id) {
  if (id != kLinkId) return;
  LogW(4, L"%s: User clicked link", L"ConflictDialog::OnButtonClick");
  if (!m_link.IsCursorOverLink()) return;
  // The system's rundll32.exe by full path: found by search, one of that
  // name beside the installer (a Downloads folder) would run instead.
  const std::wstring program = SystemFilePath(L"rundll32.exe");
  // CreateProcessW may write into the command line, so it gets a copy.
  std::vector<wchar_t> command(kControlPanelCommand, kControlPanelCommand + wcslen(kControlPanelCommand) + 1);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!program.empty() && CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                         &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    LogW(3, L"%s: CreateProcess for Programs and features component launching failed",
         L"ConflictDialog::OnButtonClick");
  }
}

INT_PTR ConflictDialog::OnPaint() {
  StyleDialogBase::OnPaint();
  if (!m_linkText.empty()) {
    HDC dc = GetDC(m_window);
    if (dc) {
      m_link.Paint(dc);
      ReleaseDC(m_window, dc);
    }
  }
  return 0;
}

INT_PTR ConflictDialog::OnCtlColor(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == IDCANCEL || id == kTryAgainId) StyleDialogBase::OnCtlColor(dc, control);
  if (id == kTitleId) SetTextColor(dc, RGB(64, 64, 64));
  switch (id) {
    case IDCANCEL:
    case kCaptionCloseId:
    case kTitleId:
    case kDescription2Id:
    case kDescription3Id:
    case kSoftwareNameId:
    case kTryAgainId:
    case kDescription1Id:
    case kLinkId:
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(NullBrush());
    default:
      return 0;
  }
}
