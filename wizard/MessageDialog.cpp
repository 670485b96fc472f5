#include "wizard/MessageDialog.h"

#include "logging/Log.h"
#include "settings/LarkProperties.h"

namespace {

std::wstring Localized(const wchar_t* key) { return LarkProperties::Instance()->GetLocalizedString(key); }

SIZE ClientSize(HWND window) {
  RECT r = {};
  GetClientRect(window, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

MessageDialog::MessageDialog(HWND parent)
    : StyleDialog(kTemplateId, parent), m_flags(0), m_restart(false) {
  m_showLogo = false;
  m_pageImage = kNoPageImage;
}

MessageDialog::~MessageDialog() {}

INT_PTR MessageDialog::OnInitDialog() {
  SetWindowTextW(m_window, m_title.c_str());
  SetDlgItemTextW(m_window, kTextId, m_text.c_str());
  HWND ok = GetDlgItem(m_window, IDOK);
  if (m_flags & MB_YESNO) {
    HWND no = GetDlgItem(m_window, IDNO);
    HWND yes = GetDlgItem(m_window, IDYES);
    if (m_restart) {
      RECT noRect = {};
      GetWindowRect(no, &noRect);
      MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&noRect), 2);
      const SIZE noSize = ClientSize(no);
      const int width = noSize.cx * 16 / 10;
      const int height = noSize.cy;
      SetWindowPos(no, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
      SetWindowPos(yes, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
      SetWindowPos(no, nullptr, noRect.right - width, noRect.bottom - height, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      PlaceLeftOf(no, yes);
      SetWindowTextW(yes, Localized(L"RebootNow").c_str());
      SetWindowTextW(no, Localized(L"RebootLater").c_str());
    } else {
      SetWindowTextW(yes, Localized(L"Yes").c_str());
      SetWindowTextW(no, Localized(L"No").c_str());
    }
    ShowWindow(yes, SW_SHOW);
    ShowWindow(no, SW_SHOW);
  } else {
    RECT okRect = {};
    GetWindowRect(ok, &okRect);
    MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&okRect), 2);
    const int x = ClientSize(m_window).cx / 2 - ClientSize(ok).cx / 2;
    SetWindowPos(ok, nullptr, x, okRect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
    SetWindowTextW(ok, Localized(L"OK").c_str());
    ShowWindow(ok, SW_SHOW);
  }
  m_closeButton.visible = false;
  m_closeButton.Enable(false);
  StyleDialogBase::OnInitDialog();
  if (m_flags & MB_YESNO) {
    SendMessageW(m_window, WM_NEXTDLGCTL, 0, FALSE);
  } else {
    // The template's default is the hidden No; Enter must mean OK here.
    SendMessageW(m_window, DM_SETDEFID, IDOK, 0);
    SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ok), TRUE);
  }
  return 0;
}

INT_PTR MessageDialog::OnCommand(int id, int event) {
  LogW(5, L"%s: ", L"MessageDialog::OnCommand");
  LogW(5, L"%s: id %d event %d", L"MessageDialog::OnCommand", id, event);
  if (id == IDOK || id == IDCANCEL || id == IDYES || id == IDNO) EndDialog(m_window, id);
  return 0;
}

INT_PTR MessageDialog::OnCtlColor(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == IDOK || id == IDYES || id == IDNO) StyleDialogBase::OnCtlColor(dc, control);
  if (id == IDOK || id == IDYES || id == IDNO || id == kTextId) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
  }
  return 0;
}

int ShowMessageDialog(const std::wstring& title, const std::wstring& text, HWND parent, int flags, bool restart) {
  MessageDialog* page = new MessageDialog(parent);
  page->SetContent(title, text, flags, restart);
  int result = page->DoModal();
  delete page;
  return result;
}
