#include "wizard/StaticLink.h"

namespace {
int g_linkId = 0;
WNDPROC g_previousProc = nullptr;
bool g_spaceActivation = false;
}  // namespace

StaticLink::StaticLink()
    : m_area(),
      m_normalFont(nullptr),
      m_linkFont(nullptr),
      m_linkRect(),
      m_handCursor(LoadCursorW(nullptr, IDC_HAND)),
      m_arrowCursor(LoadCursorW(nullptr, IDC_ARROW)),
      m_linkColor(RGB(0, 0, 255)),
      m_focus(false) {
  g_spaceActivation = false;
}

StaticLink::~StaticLink() {}

bool StaticLink::SetTexts(const std::wstring& fullText, const std::wstring& linkText, const std::wstring& placeholder) {
  if (m_window) SetText(L"", false);
  m_fullText = fullText;
  InvalidateInParent();
  m_linkText = linkText;
  m_placeholder = placeholder;
  InvalidateInParent();
  return true;
}

void StaticLink::InvalidateInParent() {
  HWND parent = GetParent(m_window);
  if (!IsWindow(parent)) return;
  RECT r = {};
  GetClientRect(m_window, &r);
  MapWindowPoints(m_window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  InvalidateRect(parent, &r, FALSE);
}

bool StaticLink::IsSpaceActivation() { return g_spaceActivation; }

bool StaticLink::IsCursorOverLink() const {
  if (g_spaceActivation) return true;
  POINT p = {};
  GetCursorPos(&p);
  ScreenToClient(GetParent(m_window), &p);
  return PtInRect(&m_linkRect, p) != FALSE;
}

void StaticLink::SetHover(bool on) {
  if (m_focus == on) return;
  m_focus = on;
  HWND parent = GetParent(m_window);
  InvalidateRect(parent, &m_linkRect, FALSE);
  InvalidateRect(parent, &m_area, FALSE);
}

int StaticLink::DrawPiece(HDC dc, const std::wstring& text, RECT& area) {
  if (text.empty()) return 0;
  RECT r = area;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER);
  SIZE size = {};
  GetTextExtentExPointW(dc, text.c_str(), static_cast<int>(text.size()), 0, nullptr, nullptr, &size);
  area.left += size.cx;
  return size.cx;
}

void StaticLink::Paint(HDC dc) {
  HWND parent = GetParent(m_window);
  GetClientRect(m_window, &m_area);
  MapWindowPoints(m_window, parent, reinterpret_cast<POINT*>(&m_area), 2);

  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  Rectangle(dc, m_area.left - 1, m_area.top, m_area.right, m_area.bottom);
  SelectObject(dc, oldPen);

  SetBkMode(dc, TRANSPARENT);
  // Without the placeholder the whole text is drawn as the link.
  size_t at = m_placeholder.empty() ? std::wstring::npos : m_fullText.find(m_placeholder);
  std::wstring prefix, suffix;
  if (at != std::wstring::npos) {
    prefix = m_fullText.substr(0, at);
    suffix = m_fullText.substr(at + m_placeholder.size());
  }
  RECT area = m_area;
  DrawPiece(dc, prefix, area);

  HGDIOBJ oldFont = m_linkFont ? SelectObject(dc, m_linkFont) : nullptr;
  COLORREF oldColor = SetTextColor(dc, m_linkColor);
  const std::wstring& link = at != std::wstring::npos ? m_linkText : m_fullText;
  int linkLeft = area.left;
  int linkWidth = DrawPiece(dc, link, area);
  m_linkRect = {linkLeft - 1, m_area.top, linkLeft + linkWidth + 1, m_area.bottom};
  if (m_normalFont) {
    SelectObject(dc, m_normalFont);
  } else if (oldFont) {
    SelectObject(dc, oldFont);
  }
  SetTextColor(dc, oldColor);

  int suffixLeft = area.left;
  int suffixWidth = DrawPiece(dc, suffix, area);

  m_area.top -= 2;
  m_area.left -= 22;
  m_area.bottom += 1;
  m_area.right = suffixLeft + suffixWidth + 5;
  if (m_focus) DrawFocusRect(dc, &m_linkRect);
  DeleteObject(pen);
}

void StaticLink::Subclass(HWND control, int linkId) {
  g_linkId = linkId;
  g_previousProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StaticLink::LinkWindowProc)));
}

LRESULT CALLBACK StaticLink::LinkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND parent = GetParent(window);
  switch (message) {
    case WM_SETFOCUS:
      SendMessageW(parent, WM_COMMAND, MAKEWPARAM(g_linkId, kSetFocus), 0);
      return 0;
    case WM_KILLFOCUS:
      SendMessageW(parent, WM_COMMAND, MAKEWPARAM(g_linkId, kKillFocus), 0);
      return 0;
    case WM_SETCURSOR:
      SendMessageW(parent, WM_COMMAND, MAKEWPARAM(g_linkId, kSetCursor), 0);
      return 0;
    case WM_CHAR:
      if (wParam == L' ') {
        g_spaceActivation = true;
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(g_linkId, kSpaceActivation), 0);
        g_spaceActivation = false;
        return 0;
      }
      break;
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS;
    default:
      break;
  }
  return g_previousProc ? CallWindowProcW(g_previousProc, window, message, wParam, lParam)
                        : DefWindowProcW(window, message, wParam, lParam);
}

bool StaticLink::HandleNotify(int event) {
  switch (event) {
    case kSetCursor:
      SetCursor(m_handCursor && IsCursorOverLink() ? m_handCursor : m_arrowCursor);
      return true;
    case kSetFocus:
      SetHover(true);
      return true;
    case kKillFocus:
      SetHover(false);
      return true;
    default:
      return false;
  }
}
