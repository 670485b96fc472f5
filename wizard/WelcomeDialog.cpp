#include "wizard/WelcomeDialog.h"

#include <commctrl.h>

// The shield request exists from Vista on; the headers hide it when the
// build targets XP, which still ignores it.
#ifndef BCM_SETSHIELD
#define BCM_SETSHIELD (BCM_FIRST + 0x000C)
#endif

#include "logging/Log.h"
#include "platform/Geometry.h"
#include "platform/SecurityDescriptor.h"
#include "platform/SystemInfo.h"
#include "settings/LarkProperties.h"

namespace {
const int kInstallId = WelcomeDialog::kResultInstall;
const int kContentPanelId = 1006;
const int kCaptionCloseId = 8;
const int kSmallIconId = 107;
// Below this OS type code (Vista) a user who is not an administrator is
// told that the setup will ask for an administrator's account.
const int kFirstVistaCode = 10;

HBRUSH NullBrush() { return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)); }
}  // namespace

WelcomeDialog::WelcomeDialog() : StyleDialog(kTemplateId, nullptr), m_languageCombo(nullptr) {}

WelcomeDialog::~WelcomeDialog() {}

int WelcomeDialog::CurrentOS() { return SystemInfo().GetOS(); }

bool WelcomeDialog::CurrentUserIsAdmin() { return IsUserAdmin(); }

INT_PTR WelcomeDialog::OnInitDialog() {
  LogW(5, L"%s: ", L"WelcomeDialog::OnInitDialog");
  StyleDialogBase::OnInitDialog();
  FitToClient();

  HWND cancel = GetDlgItem(m_window, IDCANCEL);
  HWND install = GetDlgItem(m_window, kInstallId);
  POINT at = PlaceControlAfter(GetDlgItem(m_window, kContentPanelId), cancel, m_window);
  SetWindowPos(cancel, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  PlaceLeftOf(cancel, install);

  m_languageCombo = GetDlgItem(m_window, kLanguageComboId);
  FillLanguages();

  m_title.Bind(GetDlgItem(m_window, kTitleId));
  m_instructions.Bind(GetDlgItem(m_window, kInstructionsId));
  m_languagePrompt.Bind(GetDlgItem(m_window, kLanguagePromptId));
  SendMessageW(m_languagePrompt.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_normalFont), TRUE);
  SendMessageW(m_instructions.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_normalFont), TRUE);
  SendMessageW(m_title.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont), TRUE);

  UpdateVisibleStrings();
  // The window has been resized since the frame cut its region.
  SetRoundedRegion();
  SendMessageW(install, BCM_SETSHIELD, 0, TRUE);
  SetWindowPos(m_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(m_window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);
  SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(install), TRUE);
  return 0;
}

void WelcomeDialog::UpdateVisibleStrings() {
  LarkProperties* properties = LarkProperties::Instance();
  SetWindowTextW(m_window, properties->GetSetting(L"Title").c_str());
  m_title.SetText(properties->GetSetting(L"WelcomeTitle"), true);
  m_instructions.SetText(properties->GetSetting(L"WelcomeInstructions"), false);
  m_languagePrompt.SetText(properties->GetLocalizedString(L"SelectLanguage"), false);

  const RECT title = m_title.GetRectInParent();
  const RECT instructions = m_instructions.GetRectInParent();
  SetWindowPos(m_instructions.GetHwnd(), nullptr, instructions.left, title.bottom + 1, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);

  SetDlgItemTextW(m_window, kInstallId, properties->GetLocalizedString(L"Install").c_str());
  SetDlgItemTextW(m_window, IDCANCEL, properties->GetLocalizedString(L"Cancel").c_str());

  HICON icon = LoadIconW(GetModuleInstance(), MAKEINTRESOURCEW(kSmallIconId));
  SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

  if (CurrentOS() < kFirstVistaCode && !CurrentUserIsAdmin()) {
    SetDlgItemTextW(m_window, kElevationNoteId, properties->GetLocalizedString(L"XPElevationNeeded").c_str());
  }

  InvalidateRect(m_window, nullptr, FALSE);
  // The frame paints the caption only on activation; switching the
  // activation off and on again repaints it with the new title.
  HWND active = GetActiveWindow();
  SetActiveWindow(nullptr);
  SetActiveWindow(active);
}

void WelcomeDialog::FillLanguages() {
  LarkProperties* properties = LarkProperties::Instance();
  SendMessageW(m_languageCombo, CB_RESETCONTENT, 0, 0);
  m_languages = properties->GetSelectableLanguages();
  const std::wstring current = properties->GetLanguage();
  LRESULT selected = -1;
  for (size_t i = 0; i < m_languages.size(); ++i) {
    const std::wstring name = properties->GetLanguageName(m_languages[i]);
    LRESULT item = SendMessageW(m_languageCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    if (item < 0) continue;
    SendMessageW(m_languageCombo, CB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(i));
    if (m_languages[i] == current) selected = item;
  }
  SendMessageW(m_languageCombo, CB_SETCURSEL, selected < 0 ? 0 : static_cast<WPARAM>(selected), 0);
}

INT_PTR WelcomeDialog::OnCommand(int id, int event) {
  LogW(5, L"%s: ", L"WelcomeDialog::OnCommand");
  LogW(5, L"%s: id %d event %d", L"WelcomeDialog::OnCommand", id, event);
  if (id == IDCANCEL || id == kCaptionCloseId) {
    EndDialog(m_window, IDCANCEL);
  } else if (id == kLanguageComboId && event == CBN_SELCHANGE) {
    OnLanguageChange();
  } else if (id == kInstallId) {
    OnNext();
  }
  return 0;
}

void WelcomeDialog::OnLanguageChange() {
  const LRESULT item = SendMessageW(m_languageCombo, CB_GETCURSEL, 0, 0);
  if (item == CB_ERR) return;
  const LRESULT index = SendMessageW(m_languageCombo, CB_GETITEMDATA, static_cast<WPARAM>(item), 0);
  if (index < 0 || static_cast<size_t>(index) >= m_languages.size()) return;
  const std::wstring& code = m_languages[static_cast<size_t>(index)];
  LogW(5, L"%s: User changed language to '%s'", L"WelcomeDialog::OnCommand", code.c_str());
  LarkProperties::Instance()->SetLanguage(code);
  UpdateVisibleStrings();
}

void WelcomeDialog::OnNext() {
  LogW(5, L"%s: ", L"WelcomeDialog::OnNext");
  LogW(4, L"%s: User clicked Next. Returning IDNEXT.", L"WelcomeDialog::OnNext");
  EndDialog(m_window, kInstallId);
}

INT_PTR WelcomeDialog::OnCtlColor(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == IDCANCEL || id == kInstallId) StyleDialogBase::OnCtlColor(dc, control);
  if (id == kTitleId) SetTextColor(dc, RGB(64, 64, 64));
  switch (id) {
    case kTitleId:
    case IDCANCEL:
    case kCaptionCloseId:
    case kInstructionsId:
    case kLanguagePromptId:
    case kElevationNoteId:
    case kInstallId:
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(NullBrush());
    default:
      return 0;
  }
}
