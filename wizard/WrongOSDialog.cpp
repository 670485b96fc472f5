#include "wizard/WrongOSDialog.h"

#include <commctrl.h>

#include <string>

#include "logging/Log.h"
#include "platform/Geometry.h"
#include "settings/LarkProperties.h"

namespace {
const int kTitleId = 1003;
const int kDescriptionId = 1004;
const int kContentPanelId = 1006;
const int kCaptionCloseId = 8;
const UINT_PTR kDescriptionPainter = 1;

// Paints the description like a left-aligned static does, but wraps it for
// a box one em narrower than the control and lets the lines run into that
// strip. When a font lacks glyphs (Japanese, Chinese under "Arial") they come
// from a linked font, and the glyphs can land a few pixels to the right of
// the advances that the line breaking measured; the static would clip the
// last glyph of such a line at its edge.
void DrawDescription(HWND control, HDC dc) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
  SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(control));
  TEXTMETRICW metrics = {};
  GetTextMetricsW(dc, &metrics);
  RECT box = {};
  GetClientRect(control, &box);
  box.right -= metrics.tmHeight - metrics.tmInternalLeading;
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, &text[0], length + 1)));
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_NOCLIP);
  if (oldFont) SelectObject(dc, oldFont);
}

LRESULT CALLBACK PaintDescription(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR) {
  if (message == WM_PRINTCLIENT) {
    DrawDescription(control, reinterpret_cast<HDC>(wParam));
    return 0;
  }
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    if (HDC dc = BeginPaint(control, &ps)) {
      DrawDescription(control, dc);
      EndPaint(control, &ps);
    }
    return 0;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(control, PaintDescription, id);
  return DefSubclassProc(control, message, wParam, lParam);
}
}  // namespace

WrongOSDialog::WrongOSDialog() : StyleDialog(kTemplateId, nullptr) {
  LogW(5, L"%s: ", L"WrongOSDialog::WrongOSDialog");
  m_pageImage = 0;
}

WrongOSDialog::~WrongOSDialog() {}

INT_PTR WrongOSDialog::OnInitDialog() {
  LogW(5, L"%s: ", L"WrongOSDialog::OnInitDialog");
  StyleDialogBase::OnInitDialog();
  FitToClient();
  HWND close = GetDlgItem(m_window, IDCANCEL);
  POINT at = PlaceControlAfter(GetDlgItem(m_window, kContentPanelId), close, m_window);
  SetWindowPos(close, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(close), TRUE);
  m_title.Bind(GetDlgItem(m_window, kTitleId));
  m_description.Bind(GetDlgItem(m_window, kDescriptionId));
  SetWindowSubclass(m_description.GetHwnd(), PaintDescription, kDescriptionPainter, 0);
  SendMessageW(m_title.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont), TRUE);
  SendMessageW(m_description.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_normalFont), TRUE);
  UpdateVisibleStrings();
  SetRoundedRegion();
  return 0;
}

void WrongOSDialog::UpdateVisibleStrings() {
  LogW(5, L"%s: ", L"WrongOSDialog::UpdateVisibleStrings");
  LarkProperties* properties = LarkProperties::Instance();
  m_title.SetText(properties->GetLocalizedString(L"WrongOSTitle"), false);
  m_description.SetText(properties->GetLocalizedString(L"WrongOSDescription"), false);
  SetDlgItemTextW(m_window, IDCANCEL, properties->GetLocalizedString(L"Close").c_str());
}

INT_PTR WrongOSDialog::OnCommand(int id, int event) {
  LogW(5, L"%s: ", L"WrongOSDialog::OnCommand");
  LogW(5, L"%s: id %d event %d", L"WrongOSDialog::OnCommand", id, event);
  if (id == IDCANCEL || id == kCaptionCloseId) {
    OnClose();
  } else if (id != 0 && id == m_ids->GetMinimizeButtonId()) {
    ShowWindow(m_window, SW_MINIMIZE);
  }
  return 0;
}

void WrongOSDialog::OnClose() {
  LogW(5, L"%s: ", L"WrongOSDialog::OnClose");
  LogW(4, L"%s: User clicked Close. Aborting the installation", L"WrongOSDialog::OnClose");
  EndDialog(m_window, kResultAbort);
}

INT_PTR WrongOSDialog::OnCtlColor(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == IDCANCEL) StyleDialogBase::OnCtlColor(dc, control);
  if (id == IDCANCEL || id == kCaptionCloseId || id == kDescriptionId) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
  }
  if (id == kTitleId) {
    SetTextColor(dc, RGB(64, 64, 64));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
  }
  return 0;
}
